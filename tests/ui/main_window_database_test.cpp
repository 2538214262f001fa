#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <memory>
#include <system_error>

#include "backup/staging.h"
#include "core/database.h"
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

    std::string Query(const std::string& statement)
    {
        Sql sql(session);
        EXPECT_TRUE(sql.Query(statement)) << sql.ErrorText();
        return sql.Fetch() ? sql[0] : std::string("<no row>");
    }
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
    const std::vector<SchoolEntry> expected = LoadSchoolList(session);
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
    EXPECT_TRUE(window.cbSekolah->isEnabled());
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
    EXPECT_EQ(StagingSchemas(), "0");
    EXPECT_EQ(AdvisoryLocks(), "0");
}

TEST_F(MainWindowDatabaseTest, BrokenSessionIsReopenedForTheNextBackup)
{
    RecordingWindow window(session);
    window.strLocation->setText(OutFolder());
    // The server ends the window's connection, as a restart does.
    RunPsql(port, "postgres", "SELECT pg_terminate_backend(" + Query("SELECT pg_backend_pid()") + ");");

    window.DoBackup();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !dialogs.boxes.empty(); }, 120000)) << "the run never ended";
    EXPECT_EQ(dialogs.boxes[0].text, "Backup data telah berhasil dilakukan") << dialogs.boxes[0].detail.toStdString();
    ASSERT_TRUE(ProcessEventsUntil([&] { return window.workers.load() == 0; }, 10000));
}

TEST_F(MainWindowDatabaseTest, ClosingDuringARunWaitsAndCleansUp)
{
    auto* window = new RecordingWindow(session);
    window->show();
    window->strLocation->setText(OutFolder());
    window->cbSekolah->setCurrentIndex(IndexOf(window->cbSekolah, kSchoolWithTwoAccounts));
    QTest::mouseClick(window->cmdBackup, Qt::LeftButton);
    ASSERT_TRUE(window->RunOpen());
    EXPECT_EQ(StagingSchemas(), "1");

    window->close();
    delete window; // waits for the worker; its statuses are never handled

    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(StagingSchemas(), "0") << "the staged copy must not outlive the window";
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
    EXPECT_EQ(dialogs.boxes[0].kind, Message::Kind::Warning);
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
    EXPECT_TRUE(window.statuses.empty());
    EXPECT_TRUE(DropStaging(other).ok());
}

} // namespace
} // namespace pelantra
