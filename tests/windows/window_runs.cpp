// Presses Backup in the real window again and again, as an operator does,
// so that the worker thread starts and ends as often: first with a basedir
// whose dump tool cannot be started, then with the real tools. Each run must
// end in its box; a crash ends the program. For scripts/build-windows
// --check, run in the folder that holds setting.ini:
//
//   pelantra-window-runs.exe FAILING GOOD FOLDER
//
// Prints one line per kind of run and exits 0 only when every run ended as
// expected.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "backup/backup_outcome.h"
#include "core/database.h"
#include "core/platform.h"
#include "core/settings.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace pelantra {
namespace {

class CountingDialogs final : public Dialogs {
public:
    void Show(QWidget*, const Message& message) override { boxes.push_back(message); }
    std::vector<Message> boxes;
};

void WriteSettings(const std::string& port, const std::string& basedir)
{
    QFile file(kSettingsFileName);
    if (file.open(QIODevice::WriteOnly))
        file.write(("DefDBPort=" + port + "\r\nbasedir=" + basedir + "\r\n").c_str());
}

// Presses Backup `runs` times; counts the runs whose box starts with `expected`.
int Press(MainWindow& window, CountingDialogs& dialogs, int runs, const QString& expected)
{
    int matched = 0;
    for (int run = 0; run < runs; ++run) {
        dialogs.boxes.clear();
        window.DoBackup();
        QElapsedTimer waited;
        waited.start();
        while ((dialogs.boxes.empty() || window.workers.load() != 0) && waited.elapsed() < 120000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (dialogs.boxes.size() == 1 &&
            (dialogs.boxes[0].text + "\n" + dialogs.boxes[0].informative).startsWith(expected))
            ++matched;
        else if (!dialogs.boxes.empty())
            std::fprintf(stderr, "run %d: %s\n%s\n", run + 1,
                         (dialogs.boxes[0].text + "\n" + dialogs.boxes[0].informative).toUtf8().constData(),
                         dialogs.boxes[0].detail.toUtf8().constData());
    }
    return matched;
}

int RunWindow(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: pelantra-window-runs FAILING GOOD FOLDER\n");
        return 2;
    }
    const int failing = std::atoi(argv[1]);
    const int good = std::atoi(argv[2]);
    const Settings settings = LoadIniFile(kSettingsFileName);
    const std::string port = settings.Get(kPortKey);
    const std::string basedir = settings.Get(kBaseDirKey);

    PostgreSQLSession session;
    if (const Status opened = OpenDatabase(session); !opened.ok()) {
        std::fprintf(stderr, "%s\n%s\n", opened.failure().reason.c_str(), opened.failure().detail.c_str());
        return 1;
    }
    CountingDialogs dialogs;
    SetDialogs(&dialogs);
    int failed = 0;
    int succeeded = 0;
    {
        MainWindow window(session);
        window.strLocation->setText(QString::fromLocal8Bit(argv[3]));
        WriteSettings(port, basedir + "\\tidak-ada");
        failed = Press(window, dialogs, failing,
                       // the archiver or the dump tool, whichever the run needs first
                       QString::fromUtf8(kFailureMessage) + "\nProgram ");
        WriteSettings(port, basedir);
        succeeded = Press(window, dialogs, good, QString::fromUtf8(kSuccessMessage));
    }
    SetDialogs(nullptr);
    std::printf("%d of %d runs with a dump tool that cannot be started ended in their failure box\n", failed, failing);
    std::printf("%d of %d good runs ended in the success box\n", succeeded, good);
    return failed == failing && succeeded == good ? 0 : 1;
}

} // namespace
} // namespace pelantra

int main(int argc, char* argv[])
{
    int code = 0;
    {
        QApplication app(argc, argv);
        code = pelantra::RunWindow(argc, argv);
    }
    pelantra::EndProgram(code); // as pelantra.exe ends
}
