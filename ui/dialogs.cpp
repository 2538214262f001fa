#include "ui/dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>
#include <QUrl>

#include <algorithm>

#include "ui/layout_zoom.h"
#include "ui/messages.h"

namespace pelantra {
namespace {

constexpr int kMessageWidth = 420;
// Beside a line of text: the box's icon and the space around both.
constexpr int kIconAndMargins = 90;
// What a box keeps free of the screen's width, for its frame.
constexpr int kScreenMargin = 40;
// Inside a button, on each side of its text.
constexpr int kButtonPadding = 12;
constexpr QChar kBreakOpportunity(0x200B); // zero width space

// A path breaks at a folder separator or an underscore, and nowhere else
// but at a blank.
QString WithPathBreaks(QString text)
{
    for (int i = text.size() - 1; i >= 0; --i) {
        if (text[i] == '/' || text[i] == '\\' || text[i] == '_')
            text.insert(i + 1, kBreakOpportunity);
    }
    return text;
}

Dialogs realDialogs;
Dialogs* current = &realDialogs;

QMessageBox::Icon IconOf(Message::Kind kind)
{
    switch (kind) {
    case Message::Kind::Warning:
        return QMessageBox::Warning;
    case Message::Kind::Error:
        return QMessageBox::Critical;
    case Message::Kind::Question:
        return QMessageBox::Question;
    case Message::Kind::Information:
        break;
    }
    return QMessageBox::Information;
}

} // namespace

QString Dialogs::SelectDirectory(QWidget* parent, const QString& title)
{
    QFileDialog selector(parent, title);
    selector.setFileMode(QFileDialog::Directory);
    selector.setOption(QFileDialog::ShowDirsOnly);
    if (selector.exec() != QDialog::Accepted || selector.selectedFiles().isEmpty())
        return {};
    // Qt names files with "/"; the archive path joins the folder with the
    // system's own separator, so the folder gets that too (C:\dir, not C:/dir).
    return QDir::toNativeSeparators(selector.selectedFiles().constFirst());
}

QString Dialogs::SelectArchive(QWidget* parent, const QString& title)
{
    QFileDialog selector(parent, title);
    selector.setFileMode(QFileDialog::ExistingFile);
    selector.setNameFilters({QString::fromUtf8(kArchiveFilter), QString::fromUtf8(kAllFilesFilter)});
    if (selector.exec() != QDialog::Accepted || selector.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(selector.selectedFiles().constFirst());
}

std::unique_ptr<QMessageBox> MessageBox(QWidget* parent, const Message& message)
{
    auto box = std::make_unique<QMessageBox>(IconOf(message.kind), QString::fromUtf8(kProgramName), message.text,
                                             QMessageBox::NoButton, parent);
    box->setInformativeText(WithPathBreaks(message.informative));
    // The label is as high as its lines, but at some scales an underscore
    // is drawn below a line's descent: the last line's would be cut off.
    if (auto* label = box->findChild<QLabel*>("qt_msgbox_informativelabel")) {
        const QFontMetrics metrics(label->font());
        QMargins margins = label->contentsMargins();
        margins.setBottom(margins.bottom() + std::max(metrics.boundingRect('_').bottom() + 1 - metrics.descent(), 0) +
                          metrics.lineWidth());
        label->setContentsMargins(margins);
    }
    if (!message.detail.isEmpty()) {
        box->setDetailedText(message.detail);
        // The details button keeps room around the longer of its two texts.
        const QString hide = QMessageBox::tr("Hide Details...");
        for (QPushButton* button : box->findChildren<QPushButton*>()) {
            if (button->text() == QMessageBox::tr("Show Details..."))
                button->setMinimumWidth(std::max(button->fontMetrics().horizontalAdvance(hide),
                                                 button->fontMetrics().horizontalAdvance(button->text())) +
                                        2 * Zoomed(kButtonPadding));
        }
    }
    if (message.kind == Message::Kind::Question) {
        box->addButton(QString::fromUtf8(kYesButton), QMessageBox::YesRole);
        QPushButton* no = box->addButton(QString::fromUtf8(kNoButton), QMessageBox::NoRole);
        box->setDefaultButton(no);
        box->setEscapeButton(no);
    } else {
        if (!message.folder.isEmpty())
            box->addButton(QString::fromUtf8(kOpenFolderButton), QMessageBox::ActionRole);
        QPushButton* ok = box->addButton(QMessageBox::Ok);
        box->setDefaultButton(ok);
        box->setEscapeButton(ok);
    }
    // As wide as the window, so that a reason and its details read in whole
    // lines; wider, as far as the screen allows, for a line (a path) that
    // would otherwise break more often.
    const QFontMetrics metrics(box->font());
    int widest = 0;
    for (const QString& line : (message.text + '\n' + message.informative).split('\n'))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    int width = std::max(Zoomed(kMessageWidth), widest + Zoomed(kIconAndMargins));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        width = std::min(width, screen->availableGeometry().width() - Zoomed(kScreenMargin));
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                      grid->columnCount());
    return box;
}

void Dialogs::Show(QWidget* parent, const Message& message)
{
    const std::unique_ptr<QMessageBox> box = MessageBox(parent, message);
    QApplication::beep();
    box->exec();
    if (box->buttonRole(box->clickedButton()) != QMessageBox::ActionRole ||
        QDesktopServices::openUrl(QUrl::fromLocalFile(message.folder)))
        return;
    Message unopened;
    unopened.kind = Message::Kind::Warning;
    unopened.text = QString::fromUtf8(kFolderNotOpened);
    unopened.informative = QString::fromUtf8(kOpenFolderByHand) + '\n' + message.folder;
    Show(parent, unopened);
}

bool Dialogs::Ask(QWidget* parent, const Message& question)
{
    const std::unique_ptr<QMessageBox> box = MessageBox(parent, question);
    openQuestion_ = box.get();
    box->exec();
    openQuestion_ = nullptr;
    return box->buttonRole(box->clickedButton()) == QMessageBox::YesRole;
}

void Dialogs::DismissQuestion()
{
    if (openQuestion_)
        openQuestion_->reject();
}

Dialogs& CurrentDialogs()
{
    return *current;
}

void SetDialogs(Dialogs* dialogs)
{
    current = dialogs ? dialogs : &realDialogs;
}

} // namespace pelantra
