#include "ui/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace pelantra {
namespace {

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
    // Qt names files with "/" everywhere; the archive path is built with the
    // system's own separator.
    return QDir::toNativeSeparators(selector.selectedFiles().constFirst());
}

void Dialogs::Show(QWidget* parent, const Message& message)
{
    QMessageBox box(message.kind == Message::Kind::Warning ? QMessageBox::Warning : QMessageBox::Information,
                    QApplication::applicationName(), message.text, QMessageBox::Ok, parent);
    box.setInformativeText(message.informative);
    if (!message.detail.isEmpty())
        box.setDetailedText(message.detail);
    QApplication::beep();
    box.exec();
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
