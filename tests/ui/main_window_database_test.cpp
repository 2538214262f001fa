#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <system_error>

#include "backup/staging.h"
#include "core/database.h"
#include "core/messages.h"
#include "core/school_list.h"
#include "support/gui_test_support.h"
#include "support/test_database.h"
#include "support/work_folder.h"
#include "ui/main_window.h"

namespace pelantra {
namespace {

constexpr const char* kSchoolWithTwoAccounts = "5e000000-0000-4000-8000-000000000001";
constexpr const char* kItsNpsn = "10100001";

// A window that records the status protocol and the order in which its two
// buttons change state, and can refuse to start threads.
class RecordingWindow : public MainWindow {
public:
    explicit RecordingWindow(PostgreSQLSession& session) : MainWindow(session)
    {
        cmdCari->installEventFilter(this);
        cmdBackup->installEventFilter(this);
    }

    void OnStatus(std::string text) override
    {
        statuses.push_back(text);
        MainWindow::OnStatus(std::move(text));
    }
    void OnOutcome(BackupOutcome outcome) override
    {
        outcomes.push_back(outcome);
        MainWindow::OnOutcome(std::move(outcome));
    }
    void OnStep(BackupStep step) override
    {
        MainWindow::OnStep(step);
        stepTexts << cmdBackup->text();
    }

    std::vector<std::string> statuses;
    std::vector<BackupOutcome> outcomes;
    QStringList stepTexts;
    QStringList buttonChanges;
    bool refuseThreads = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange) {
            auto* button = static_cast<QWidget*>(watched);
            buttonChanges << button->objectName() + (button->isEnabled() ? " on" : " off");
        }
        return MainWindow::eventFilter(watched, event);
    }
    void StartThread(std::function<void()> body) override
    {
        if (refuseThreads)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        MainWindow::StartThread(std::move(body));
    }
};

// Starts the sandbox's server again at the end of a test that stopped it.
struct ServerRestart {
    std::string sandbox;
    bool down = false;
    ~ServerRestart()
    {
        if (down)
            SandboxServer(sandbox, "resume");
    }
};

class MainWindowDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        port = SandboxPort().value_or("");
        if (port.empty()) {
            if (RunningUnderCi())
                FAIL() << "database sandbox not started";
            GTEST_SKIP() << "database sandbox not started; run scripts/test";
        }
        ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();

        // The worker reads setting.ini and finds its tools under basedir.
        work = std::make_unique<WorkFolder>(port);
        ASSERT_TRUE(QDir().mkpath(OutFolder()));
        Cleanup();
    }

    void TearDown() override
    {
        work.reset();
        if (!port.empty())
            Cleanup();
    }

    void Cleanup()
    {
        RunPsql(port, "pendataan", "SET client_min_messages=warning; DROP SCHEMA IF EXISTS tmpx CASCADE;");
    }

    std::string Query(const std::string& statement) { return Scalar(session, statement); }
    std::string StagingSchemas() { return Query("SELECT count(*) FROM pg_namespace WHERE nspname='tmpx'"); }
    std::string AdvisoryLocks() { return Query("SELECT count(*) FROM pg_locks WHERE locktype='advisory'"); }

    int IndexOf(QComboBox* list, const QString& key) { return list->findData(key); }

    QString OutFolder() const { return QString::fromStdString(work->Path()) + "/out"; }
    QStringList Archives() { return QDir(OutFolder()).entryList({"*.std"}, QDir::Files); }

    std::string port;
    PostgreSQLSession session;
    std::unique_ptr<WorkFolder> work;
    ScopedDialogs scoped;
    RecordingDialogs& dialogs = scoped.dialogs;
};

TEST_F(MainWindowDatabaseTest, ListsEverySchoolAccountInServerOrder)
{
    MainWindow window(session);
    const std::vector<SchoolEntry> expected = LoadSchoolList(session).value();
    ASSERT_EQ(window.cbSekolah->count(), static_cast<int>(expected.size()));
    int sameKey = 0;
    for (int i = 0; i < window.cbSekolah->count(); ++i) {
        EXPECT_EQ(window.cbSekolah->itemData(i).toString().toStdString(), expected[i].id);
        EXPECT_EQ(window.cbSekolah->itemText(i).toStdString(), expected[i].name);
        if (window.cbSekolah->itemData(i).toString() == kSchoolWithTwoAccounts) {
            EXPECT_EQ(window.cbSekolah->itemText(i), "SD Negeri 1 Hulu");
            ++sameKey;
        }
    }
    EXPECT_EQ(sameKey, 2) << "a school with two accounts is listed twice";
    EXPECT_EQ(window.cbSekolah->currentIndex(), 0);
    EXPECT_EQ(window.SelectedSchoolId(), expected.front().id);
}

TEST_F(MainWindowDatabaseTest, FullBackupFromTheButton)
{
    RecordingWindow window(session);
    window.show();
    dialogs.nextDirectory = OutFolder();
    QTest::mouseClick(window.cmdCari, Qt::LeftButton);
    window.cbSekolah->setCurrentIndex(IndexOf(window.cbSekolah, kSchoolWithTwoAccounts));
    const QFont idleFont = window.cmdBackup->font();

    QTest::mouseClick(window.cmdBackup, Qt::LeftButton);
    EXPECT_EQ(window.buttonChanges, QStringList({"cmdCari off", "cmdBackup off"}));
    EXPECT_TRUE(window.RunOpen());
    EXPECT_FALSE(window.cbSekolah->isEnabled());
    EXPECT_EQ(window.cursor().shape(), Qt::BusyCursor);

    // Statuses other than the exact final one change nothing; neither does
    // another school chosen now.
    window.OnStatus("Selesai");
    window.OnStatus("selesai ");
    window.OnStatus("");
    window.cbSekolah->setCurrentIndex(window.cbSekolah->count() - 1);
    QTest::mouseClick(window.cmdBackup, Qt::LeftButton);
    EXPECT_FALSE(window.cmdBackup->isEnabled());
    EXPECT_TRUE(dialogs.boxes.empty());

    ASSERT_TRUE(ProcessEventsUntil([&] { return !dialogs.boxes.empty(); }, 120000)) << "the run never ended";
    ASSERT_TRUE(ProcessEventsUntil([&] { return window.workers.load() == 0; }, 10000));

    EXPECT_EQ(window.buttonChanges, QStringList({"cmdCari off", "cmdBackup off", "cmdCari on", "cmdBackup on"}));
    EXPECT_TRUE(window.cbSekolah->isEnabled());
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor) << "busy cursor left on";
    // While it ran the button told each step and the seconds so far.
    const QStringList steps = {"Menyiapkan data...", "Mengekspor...", "Mengarsipkan...", "Menguji arsip..."};
    ASSERT_EQ(window.stepTexts.size(), steps.size()) << window.stepTexts.join('|').toStdString();
    for (int i = 0; i < steps.size(); ++i) {
        const QRegularExpression shown("^" + QRegularExpression::escape(steps[i]) + " [0-9]+ detik$");
        EXPECT_TRUE(shown.match(window.stepTexts[i]).hasMatch()) << window.stepTexts[i].toStdString();
    }
    EXPECT_EQ(window.cmdBackup->text(), "Backup");
    EXPECT_EQ(window.cmdBackup->font(), idleFont);
    ASSERT_EQ(window.statuses.size(), 7u); // three of ours above, four of the worker
    const std::vector<std::string> fromWorker(window.statuses.begin() + 3, window.statuses.end());
    EXPECT_EQ(fromWorker.front().rfind("menulis ", 0), 0u) << fromWorker.front();
    EXPECT_EQ(fromWorker.back(), "selesai");
    ASSERT_EQ(window.outcomes.size(), 1u);

    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Backup data telah berhasil dilakukan")
        << dialogs.boxes[0].text.toStdString() << "\n"
        << dialogs.boxes[0].detail.toStdString();
    const QStringList archives = Archives();
    ASSERT_EQ(archives.size(), 1);
    EXPECT_TRUE(archives[0].contains(kItsNpsn)) << "the run backed up the school chosen at its start";
    ASSERT_TRUE(window.outcomes[0].ok());
    EXPECT_EQ(fromWorker.front(), "menulis " + window.outcomes[0].value().path);
    // The box names the school and the archive's full path.
    EXPECT_EQ(dialogs.boxes[0].informative.toStdString(),
              "Sekolah: SD Negeri 1 Hulu\nArsip: " + window.outcomes[0].value().path);
    EXPECT_EQ(dialogs.boxes[0].folder, OutFolder()) << "the box offers to open the archive's folder";
    EXPECT_EQ(StagingSchemas(), "0");
    EXPECT_EQ(AdvisoryLocks(), "0");

    // Again: the box says where the earlier archive went.
    window.cbSekolah->setCurrentIndex(IndexOf(window.cbSekolah, kSchoolWithTwoAccounts));
    QTest::mouseClick(window.cmdBackup, Qt::LeftButton);
    ASSERT_TRUE(ProcessEventsUntil([&] { return dialogs.boxes.size() == 2; }, 120000)) << "the run never ended";
    ASSERT_TRUE(ProcessEventsUntil([&] { return window.workers.load() == 0; }, 10000));
    const QStringList kept = QDir(OutFolder() + "/Riwayat").entryList(QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(dialogs.boxes[1].informative.toStdString(), "Sekolah: SD Negeri 1 Hulu\nArsip: " +
                                                             window.outcomes[1].value().path +
                                                             "\nArsip lama disimpan di folder Riwayat: " +
                                                             kept[0].toStdString());
}

TEST_F(MainWindowDatabaseTest, BackupWorksAgainOnceTheServerIsBack)
{
    PELANTRA_REQUIRE(SandboxFolder(), sandbox);
    RecordingWindow window(session);
    window.strLocation->setText(OutFolder());
    ServerRestart server{sandbox};

    server.down = true;
    SandboxServer(sandbox, "halt");
    for (int press = 0; press < 2; ++press) {
        SCOPED_TRACE(press);
        window.DoBackup();
        ASSERT_EQ(dialogs.boxes.size(), static_cast<std::size_t>(press + 1));
        EXPECT_EQ(dialogs.boxes.back().informative, kServerUnreachable);
        EXPECT_NE(dialogs.boxes.back().detail.indexOf(QString::fromStdString("127.0.0.1 port " + port + ": ")), -1)
            << dialogs.boxes.back().detail.toStdString();
        EXPECT_TRUE(window.cmdBackup->isEnabled());
    }

    SandboxServer(sandbox, "resume");
    server.down = false;
    window.DoBackup();
    ASSERT_TRUE(ProcessEventsUntil([&] { return dialogs.boxes.size() == 3; }, 120000)) << "the run never ended";
    EXPECT_EQ(dialogs.boxes.back().text, "Backup data telah berhasil dilakukan")
        << dialogs.boxes.back().detail.toStdString();
    ASSERT_TRUE(ProcessEventsUntil([&] { return window.workers.load() == 0; }, 10000));
    // The server's list of connections names the program.
    EXPECT_EQ(Query("SELECT application_name FROM pg_stat_activity WHERE pid = pg_backend_pid()"), "Pelantra");
}

TEST_F(MainWindowDatabaseTest, ClosingDuringARunAsksAndStopsOnlyOnYes)
{
    // The dump tool writes its first lines, then hangs until it is stopped.
    work.reset();
    work = std::make_unique<WorkFolder>(port, WorkFolder::Tools::StandIns);
    QTemporaryDir scratch;
    const QString dumpPid = scratch.filePath("pg_dump.pid");
    qputenv("FAKE_PG_DUMP", "slow");
    qputenv("FAKE_PG_DUMP_PID", dumpPid.toUtf8());
    struct Unset {
        ~Unset()
        {
            qunsetenv("FAKE_PG_DUMP");
            qunsetenv("FAKE_PG_DUMP_PID");
        }
    } unset;
    ASSERT_TRUE(QDir().mkpath(OutFolder()));
    const QString earlier = OutFolder() + "/010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu.std";
    QFile earlierFile(earlier);
    ASSERT_TRUE(earlierFile.open(QIODevice::WriteOnly));
    earlierFile.write("the archive of an earlier backup");
    earlierFile.close();

    auto* window = new RecordingWindow(session);
    window->show();
    window->strLocation->setText(OutFolder());
    window->cbSekolah->setCurrentIndex(IndexOf(window->cbSekolah, kSchoolWithTwoAccounts));
    window->DoBackup();
    ASSERT_TRUE(ProcessEventsUntil([&] { return QFile::exists(dumpPid); }, 30000)) << "the dump never started";

    dialogs.nextAnswer = false;
    window->close();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "Backup sedang berjalan. Hentikan backup lalu tutup?");
    ProcessEventsUntil([] { return false; }, 500);
    EXPECT_TRUE(window->isVisible()) << "\"Tidak\" lets the run go on in the window";
    EXPECT_TRUE(window->RunOpen());

    dialogs.nextAnswer = true;
    window->close();
    ASSERT_EQ(dialogs.questions.size(), 2u);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !window->isVisible(); }, 30000)) << "the window stayed open";
    delete window;

    EXPECT_TRUE(dialogs.boxes.empty());
    QFile pidFile(dumpPid);
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    EXPECT_FALSE(QDir(QStringLiteral("/proc/") + pidFile.readAll().trimmed()).exists()) << "the dump tool still runs";
    EXPECT_EQ(QDir(OutFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QFileInfo(earlier).fileName()});
    ASSERT_TRUE(earlierFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlierFile.readAll(), "the archive of an earlier backup");
    EXPECT_EQ(StagingSchemas(), "0");
    EXPECT_EQ(AdvisoryLocks(), "0");
}

TEST_F(MainWindowDatabaseTest, QuestionThatOutlivesTheRunGoesAwayAndTheWindowCloses)
{
    RecordingWindow window(session);
    window.show();
    window.strLocation->setText(OutFolder());
    window.DoBackup();
    ASSERT_TRUE(window.RunOpen());
    // The question stays unanswered until the run has ended.
    dialogs.nextAnswer = true;
    dialogs.whileAsking = [&] { ProcessEventsUntil([&] { return dialogs.questionDismissed; }, 120000); };
    window.close();
    EXPECT_TRUE(dialogs.questionDismissed) << "the question outlived the run";
    ASSERT_EQ(dialogs.boxes.size(), 1u) << "the outcome is shown";
    EXPECT_EQ(dialogs.boxes[0].text, "Backup data telah berhasil dilakukan");
    EXPECT_FALSE(window.isVisible()) << "the user had asked to close";
    EXPECT_EQ(Archives().size(), 1);
    EXPECT_EQ(StagingSchemas(), "0");
}

TEST_F(MainWindowDatabaseTest, StagingThatWaitsForTheServerKeepsTheWindowAlive)
{
    // Another session holds a table staging reads.
    PostgreSQLSession other;
    ASSERT_TRUE(other.OpenOnPort(port));
    auto holdTable = [&] {
        ASSERT_TRUE(Sql(other).Execute("BEGIN"));
        ASSERT_TRUE(Sql(other).Execute("LOCK TABLE public.sekolah IN ACCESS EXCLUSIVE MODE"));
    };
    RecordingWindow window(session);
    window.show();
    window.strLocation->setText(OutFolder());

    // A timer keeps its time while staging waits, until the table is free.
    holdTable();
    QElapsedTimer clock;
    qint64 lastTick = 0, longestGap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticks.start(50);
    QTimer::singleShot(1500, [&] { Sql(other).Execute("ROLLBACK"); });
    clock.start();
    window.DoBackup();
    EXPECT_GE(clock.elapsed(), 1400) << "staging did not wait for the table";
    EXPECT_LT(longestGap, 400) << "the window stood still while staging waited";
    ASSERT_TRUE(window.RunOpen());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !dialogs.boxes.empty(); }, 120000));

    // A close during the wait stops staging there, and the window closes.
    holdTable();
    dialogs.nextAnswer = true;
    QTimer::singleShot(300, [&] { window.close(); });
    clock.restart();
    window.DoBackup();
    EXPECT_LT(clock.elapsed(), 5000) << "the close waited for the table";
    EXPECT_EQ(dialogs.questions.size(), 1u);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(dialogs.boxes.size(), 1u) << "a stop the user asked for needs no box";
    Sql(other).Execute("ROLLBACK");
    EXPECT_EQ(StagingSchemas(), "0");
    EXPECT_EQ(AdvisoryLocks(), "0");
}

TEST_F(MainWindowDatabaseTest, PortChangedInTheSettingsIsUsedAtTheNextBackup)
{
    PELANTRA_REQUIRE_SCRAM_DATABASE(otherPort);
    RecordingWindow window(session);
    window.strLocation->setText(OutFolder());

    work->WriteSettings("1", work->ToolsPath());
    window.DoBackup();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes.back().informative, kServerUnreachable) << "the old connection was used";
    EXPECT_NE(dialogs.boxes.back().detail.indexOf("127.0.0.1 port 1: "), -1)
        << dialogs.boxes.back().detail.toStdString();

    // The server moved: the next backup goes there, without a restart.
    work->WriteSettings(otherPort, work->ToolsPath());
    window.DoBackup();
    ASSERT_TRUE(ProcessEventsUntil([&] { return dialogs.boxes.size() == 2; }, 120000)) << "the run never ended";
    EXPECT_EQ(dialogs.boxes.back().text, "Backup data telah berhasil dilakukan")
        << dialogs.boxes.back().detail.toStdString();
    EXPECT_EQ(session.Port(), otherPort);
    ASSERT_TRUE(ProcessEventsUntil([&] { return window.workers.load() == 0; }, 10000));
}

TEST_F(MainWindowDatabaseTest, WindowDestroyedDuringARunWaitsAndCleansUp)
{
    auto* window = new RecordingWindow(session);
    window->show();
    window->strLocation->setText(OutFolder());
    window->cbSekolah->setCurrentIndex(IndexOf(window->cbSekolah, kSchoolWithTwoAccounts));
    QTest::mouseClick(window->cmdBackup, Qt::LeftButton);
    ASSERT_TRUE(window->RunOpen());
    EXPECT_EQ(StagingSchemas(), "1");

    delete window; // waits for the worker; its statuses are never handled

    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(StagingSchemas(), "0") << "the staged copy must not outlive the window";
    EXPECT_EQ(AdvisoryLocks(), "0");
}

TEST_F(MainWindowDatabaseTest, CheckingAnArchiveTellsItsRowsOrWhatIsWrong)
{
    RecordingWindow window(session);
    window.strLocation->setText(OutFolder());
    window.cbSekolah->setCurrentIndex(IndexOf(window.cbSekolah, kSchoolWithTwoAccounts));
    window.DoBackup();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !dialogs.boxes.empty(); }, 120000)) << "the backup never ended";
    ASSERT_EQ(Archives().size(), 1);
    const std::string good = (OutFolder() + "/" + Archives()[0]).toStdString();
    const std::string damaged = OutFolder().toStdString() + "/rusak.std";
    QFile::copy(QString::fromStdString(good), QString::fromStdString(damaged));
    DamageArchive(damaged, ArchiveDamage::FlippedBytes);
    const std::string locked = OutFolder().toStdString() + "/lain.std";
    PackArchive(locked, {{"kartesa2014.sql", ExtractMember(good)}}, "-pother");

    struct Case {
        std::string archive;
        const char* text;
        const char* informative;
    };
    const Case cases[] = {
        {good, "Arsip utuh dan dapat dipulihkan", nullptr},
        {damaged, "Arsip tidak lolos pemeriksaan", "Arsip rusak atau tidak lengkap"},
        {locked, "Arsip tidak lolos pemeriksaan", "Berkas ini bukan arsip backup Pelantra"},
        {good, "Pemeriksaan tidak dapat dilakukan; arsip belum diperiksa", kServerUnreachable},
    };
    PELANTRA_REQUIRE(SandboxFolder(), sandbox);
    ServerRestart server{sandbox};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        ASSERT_TRUE(ProcessEventsUntil([&] { return window.workers.load() == 0; }, 10000));
        if (c.informative == kServerUnreachable) { // a good archive, and the server stopped
            server.down = true;
            SandboxServer(sandbox, "halt");
        }
        dialogs.boxes.clear();
        dialogs.nextArchive = QString::fromStdString(c.archive);
        window.DoPeriksa();
        if (!server.down) {
            EXPECT_FALSE(window.cmdBackup->isEnabled());
            EXPECT_TRUE(window.cmdBackup->text().startsWith("Membuka arsip..."))
                << window.cmdBackup->text().toStdString();
        }
        ASSERT_TRUE(ProcessEventsUntil([&] { return !dialogs.boxes.empty(); }, 120000)) << "the check never ended";
        EXPECT_TRUE(window.cmdBackup->isEnabled());
        const QString shown = dialogs.boxes[0].informative;
        EXPECT_EQ(dialogs.boxes[0].text.toStdString(), c.text) << dialogs.boxes[0].detail.toStdString();
        EXPECT_TRUE(shown.contains("Arsip: " + QString::fromStdString(c.archive))) << shown.toStdString();
        if (c.informative) {
            EXPECT_TRUE(shown.startsWith(c.informative)) << shown.toStdString();
            continue;
        }
        // Whose archive, when it was made, and its rows per table.
        EXPECT_TRUE(shown.startsWith(QString("Sekolah: SD Negeri 1 Hulu (NPSN ") + kItsNpsn + ")\nDibuat: "))
            << shown.toStdString();
        EXPECT_TRUE(shown.contains("\nPTK (guru dan tenaga kependidikan) (ptk): 3\n")) << shown.toStdString();
    }
    SandboxServer(sandbox, "resume");
    server.down = false;
    ASSERT_TRUE(session.Revive());
    EXPECT_EQ(Query("SELECT count(*) FROM pg_namespace WHERE nspname = 'pelantra_uji'"), "0");
    EXPECT_EQ(AdvisoryLocks(), "0");
}

TEST_F(MainWindowDatabaseTest, ThreadThatCannotStartLeavesTheWindowUsable)
{
    RecordingWindow window(session);
    window.refuseThreads = true;
    window.strLocation->setText(OutFolder());
    window.DoBackup();

    EXPECT_EQ(window.workers.load(), 0);
    EXPECT_FALSE(window.RunOpen());
    EXPECT_EQ(window.buttonChanges, QStringList({"cmdCari off", "cmdBackup off", "cmdCari on", "cmdBackup on"}));
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Backup data gagal dilakukan");
    EXPECT_EQ(dialogs.boxes[0].informative, "Proses backup tidak dapat dimulai");
    EXPECT_EQ(dialogs.boxes[0].kind, Message::Kind::Error);
    EXPECT_EQ(StagingSchemas(), "0");
    EXPECT_EQ(AdvisoryLocks(), "0");
}

TEST_F(MainWindowDatabaseTest, FailedStagingStartsNoWorker)
{
    // Another instance holds the backup lock.
    PostgreSQLSession other;
    ASSERT_TRUE(other.OpenOnPort(port));
    const auto held = StageSchool(other, kSchoolWithTwoAccounts);
    ASSERT_TRUE(held.ok());

    RecordingWindow window(session);
    window.strLocation->setText(OutFolder());
    window.DoBackup();

    EXPECT_EQ(window.workers.load(), 0);
    EXPECT_FALSE(window.RunOpen());
    EXPECT_EQ(window.buttonChanges, QStringList({"cmdCari off", "cmdBackup off", "cmdCari on", "cmdBackup on"}));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Backup data gagal dilakukan");
    EXPECT_EQ(dialogs.boxes[0].informative, "Backup lain sedang berjalan pada database ini");
    // Which program holds the lock, from where, since when.
    EXPECT_TRUE(
        dialogs.boxes[0].detail.contains(QRegularExpression("program \"Pelantra\", dari (127\\.0\\.0\\.1|soket lokal), "
                                                            "tersambung sejak \\d{1,2} \\w+ \\d{4} \\d\\d\\.\\d\\d")))
        << dialogs.boxes[0].detail.toStdString();
    EXPECT_TRUE(window.statuses.empty());
    EXPECT_TRUE(DropStaging(other).ok());
}

} // namespace
} // namespace pelantra
