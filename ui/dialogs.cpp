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
    // Qt names files with "/"; the archive path joins the folder with the
    // system's own separator, so the folder gets that too (C:\dir, not C:/dir).
    return QDir::toNativeSeparators(selector.selectedFiles().constFirst());
}

void Dialogs::Inform(QWidget* parent, const QString& text, const QString& detail)
{
    QMessageBox box(QMessageBox::Information, QApplication::applicationName(), text, QMessageBox::Ok, parent);
    if (!detail.isEmpty())
        box.setDetailedText(detail);
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
