#include "ui/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include "ui/layout_zoom.h"

namespace pelantra {
namespace {

constexpr int kMessageWidth = 420;

Dialogs realDialogs;
Dialogs* current = &realDialogs;

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

std::unique_ptr<QMessageBox> MessageBox(QWidget* parent, const Message& message)
{
    auto box = std::make_unique<QMessageBox>(message.kind == Message::Kind::Warning ? QMessageBox::Warning
                                                                                    : QMessageBox::Information,
                                             QApplication::applicationName(), message.text, QMessageBox::Ok, parent);
    box->setInformativeText(message.informative);
    if (!message.detail.isEmpty())
        box->setDetailedText(message.detail);
    // As wide as the window, so that a reason and its details read in whole lines.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(Zoomed(kMessageWidth), 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

void Dialogs::Show(QWidget* parent, const Message& message)
{
    const std::unique_ptr<QMessageBox> box = MessageBox(parent, message);
    QApplication::beep();
    box->exec();
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
