// Writes the program's committed pictures from the drawing code in
// ui/artwork.cpp, and takes the window picture for the documentation.
// Built and run by resources/make-artwork; not part of the program.
//
//   make_artwork icon FILE.ico       the Windows icon group (32 and 256 pixels)
//   make_artwork window FILE.png     the main window, against the database of
//                                    setting.ini in the current directory
//   make_artwork running FILE.png FOLDER   the window a second and a half into a
//                                    backup of the first school into FOLDER
//   make_artwork failure FILE.png    the box of a backup into a folder that
//                                    cannot be written, details open
//   make_artwork check FILE.png ARCHIVE   the box of "Periksa arsip..." for
//                                    ARCHIVE, with its rows per table
//   make_artwork close FILE.png      the question when the window is closed
//                                    during a backup

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <string>

#include "core/database.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/messages.h"
#include "ui/qt_texts.h"

namespace pelantra {
namespace {

void PutLe16(QByteArray& out, int value)
{
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

void PutLe32(QByteArray& out, qint64 value)
{
    PutLe16(out, int(value & 0xffff));
    PutLe16(out, int((value >> 16) & 0xffff));
}

// An .ico file whose images are stored as PNG, as Windows has read them since Vista.
bool WriteIcon(const QString& path)
{
    const int sizes[] = {32, 256};
    QList<QByteArray> images;
    for (int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!IconImage(size).save(&buffer, "PNG"))
            return false;
        images << png;
    }
    QByteArray out;
    PutLe16(out, 0);
    PutLe16(out, 1); // icon
    PutLe16(out, int(images.size()));
    qint64 offset = 6 + 16 * images.size();
    for (int i = 0; i < images.size(); ++i) {
        out.append(char(sizes[i] >= 256 ? 0 : sizes[i])); // 0 means 256
        out.append(char(sizes[i] >= 256 ? 0 : sizes[i]));
        out.append(char(0)); // no palette
        out.append(char(0));
        PutLe16(out, 1); // planes
        PutLe16(out, 32); // bits per pixel
        PutLe32(out, images[i].size());
        PutLe32(out, offset);
        offset += images[i].size();
    }
    for (const QByteArray& png : images)
        out.append(png);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

// Opens no dialog, so that nothing waits for a person. Qt asks the window to
// close when the application quits; a question then, while work runs, is
// answered "Ya": the work stops and the window closes once it has ended.
class QuietDialogs : public Dialogs {
public:
    void Show(QWidget*, const Message&) override { }
    bool Ask(QWidget*, const Message&) override { return true; }
};

// Shows the box the window asks for without waiting, details open unless
// told otherwise, and saves a picture of it; answers the archive question
// with `archive`.
class PictureDialogs final : public QuietDialogs {
public:
    PictureDialogs(QString path, bool details, QString archive = {})
        : path_(std::move(path)), archive_(std::move(archive)), details_(details)
    {
    }

    QString SelectArchive(QWidget*, const QString&) override { return archive_; }

    void Show(QWidget* parent, const Message& message) override
    {
        const std::unique_ptr<QMessageBox> box = MessageBox(parent, message);
        box->show();
        if (details_) {
            // Only the details button: "Buka folder" has the same role and
            // would open a file manager.
            for (QAbstractButton* button : box->buttons()) {
                if (box->buttonRole(button) == QMessageBox::ActionRole &&
                    button->text() != QString::fromUtf8(kOpenFolderButton))
                    button->click();
            }
        }
        QApplication::processEvents();
        saved = box->grab().save(path_, "PNG");
    }

    bool saved = false;

private:
    QString path_;
    QString archive_;
    bool details_;
};

QuietDialogs quietDialogs;

void SetUpApplication()
{
    QApplication::setApplicationName(QString::fromUtf8(kProgramName));
    QApplication::setWindowIcon(AppIcon());
    UseIndonesianQtTexts();
}

// The session of setting.ini in the current directory; says why not.
bool OpenSession(PostgreSQLSession& session)
{
    if (const Status opened = OpenDatabase(session); !opened.ok()) {
        std::fprintf(stderr, "no database: %s\n", opened.failure().detail.c_str());
        return false;
    }
    return true;
}

// The event loop ends once `dialogs` has its picture, or after `timeoutMs`;
// `poll` lives as long as the loop.
void QuitOnceSaved(QApplication& app, const PictureDialogs& dialogs, int timeoutMs, QTimer& poll)
{
    QTimer::singleShot(timeoutMs, &app, [&app] { app.quit(); });
    QObject::connect(&poll, &QTimer::timeout, [&app, &dialogs] {
        if (dialogs.saved)
            app.quit();
    });
    poll.start(100);
}

// The window: at rest with a folder chosen, or `pressed` with a backup of
// the first school into `folder` under way for a while.
int WriteWindow(QApplication& app, const QString& path, const QString& folder, bool pressed)
{
    SetUpApplication();
    PostgreSQLSession session;
    if (!OpenSession(session))
        return 1;
    int result = 1;
    {
        MainWindow window(session);
        window.strLocation->setText(folder);
        window.show();
        if (pressed)
            QTimer::singleShot(300, &window, [&] { window.DoBackup(); });
        QTimer::singleShot(pressed ? 1500 : 500, &window, [&] {
            result = window.grab().save(path, "PNG") ? 0 : 1;
            app.quit();
        });
        app.exec();
        while (window.workers.load() != 0)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return result;
}

// The box of a backup into a folder that cannot be written.
int WriteFailure(QApplication& app, const QString& path)
{
    PictureDialogs dialogs(path, true);
    SetDialogs(&dialogs);
    QTimer poll;
    QuitOnceSaved(app, dialogs, 10000, poll);
    WriteWindow(app, path + ".window.png", "/proc", true);
    QFile::remove(path + ".window.png");
    SetDialogs(&quietDialogs);
    return dialogs.saved ? 0 : 1;
}

// The box of "Periksa arsip..." for a good archive.
int WriteCheck(QApplication& app, const QString& path, const QString& archive)
{
    SetUpApplication();
    PostgreSQLSession session;
    if (!OpenSession(session))
        return 1;
    PictureDialogs dialogs(path, false, archive);
    SetDialogs(&dialogs);
    {
        MainWindow window(session);
        window.show();
        QTimer::singleShot(300, &window, [&] { window.DoPeriksa(); });
        QTimer poll;
        QuitOnceSaved(app, dialogs, 60000, poll);
        app.exec();
        while (window.workers.load() != 0)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    SetDialogs(&quietDialogs);
    return dialogs.saved ? 0 : 1;
}

// The question when the window is closed while a backup runs.
int WriteCloseQuestion(const QString& path)
{
    SetUpApplication();
    Message question;
    question.kind = Message::Kind::Question;
    question.text = QString::fromUtf8(kCloseDuringBackup);
    question.informative = QString::fromUtf8(kEarlierArchiveKept);
    const std::unique_ptr<QMessageBox> box = MessageBox(nullptr, question);
    box->show();
    QApplication::processEvents();
    return box->grab().save(path, "PNG") ? 0 : 1;
}

} // namespace
} // namespace pelantra

int main(int argc, char* argv[])
{
    using namespace pelantra;
    QApplication app(argc, argv);
    SetDialogs(&quietDialogs);
    const QStringList args = QApplication::arguments();
    if (args.size() == 3 && args[1] == "icon")
        return WriteIcon(args[2]) ? 0 : 1;
    if (args.size() == 3 && args[1] == "window")
        return WriteWindow(app, args[2], "/home/operator/Cadangan", false);
    if (args.size() == 4 && args[1] == "running")
        return WriteWindow(app, args[2], args[3], true);
    if (args.size() == 3 && args[1] == "failure")
        return WriteFailure(app, args[2]);
    if (args.size() == 4 && args[1] == "check")
        return WriteCheck(app, args[2], args[3]);
    if (args.size() == 3 && args[1] == "close")
        return WriteCloseQuestion(args[2]);
    std::fprintf(stderr, "usage: make_artwork icon FILE.ico | window FILE.png | running FILE.png FOLDER | "
                         "failure FILE.png | check FILE.png ARCHIVE | close FILE.png\n");
    return 2;
}
