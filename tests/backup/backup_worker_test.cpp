#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include "archive/staged_tables.h"
#include "backup/backup_run.h"
#include "backup/backup_worker.h"
#include "backup/column_lists.h"
#include "backup/dump_rewriter.h"
#include "backup/export.h"
#include "backup/staging.h"
#include "check/archive_check.h"
#include "core/database.h"
#include "support/files.h"
#include "support/test_database.h"
#include "support/work_folder.h"
#include "tools/tool_run.h"

namespace pelantra {
namespace {

const std::string kSchool1 = "5e000000-0000-4000-8000-000000000001";
const std::string kSchool2 = "5e000000-0000-4000-8000-000000000002";
const std::string kSchool4 = "5e000000-0000-4000-8000-000000000004";
const char* kReplayDatabase = "pelantra_replay";

class RecordingObserver final : public BackupObserver {
public:
    void PostStatus(const std::string& text) override { statuses.push_back(text); }
    void PostOutcome(const BackupOutcome& posted) override
    {
        outcome = posted;
        ++outcomes;
    }

    std::vector<std::string> statuses;
    BackupOutcome outcome = Failure{"no outcome posted", {}};
    int outcomes = 0;
};

class BackupWorkerTest : public ::testing::Test {
protected:
    void StartOn(const std::string& sandboxPort)
    {
        port = sandboxPort;
        ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
        Sql(session).Execute("DROP SCHEMA IF EXISTS tmpx CASCADE");
        work = std::make_unique<WorkFolder>(port, WorkFolder::Tools::StandIns);
        ASSERT_TRUE(destination.isValid());
    }

    void TearDown() override
    {
        work.reset();
        if (session.IsOpen()) {
            Sql(session).Execute("DROP SCHEMA IF EXISTS tmpx CASCADE");
            Sql(session).Query("SELECT pg_advisory_unlock_all()");
        }
    }

    // Stages and runs the worker; leaves the staging in place for comparisons.
    RecordingObserver Run(const std::string& schoolId, const std::string& folder)
    {
        RecordingObserver observer;
        const auto staged = StageSchool(session, schoolId);
        EXPECT_TRUE(staged.ok()) << staged.failure().reason << "\n" << staged.failure().detail;
        if (staged.ok())
            BackupWorker(observer, session, folder, schoolId, staged.value().rows);
        return observer;
    }

    QStringList Entries(const QString& path) const
    {
        return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // What the run left in its working folder beside the settings and the
    // tools, such as a dump written to a file.
    QStringList LeftInWorkingFolder() const
    {
        QStringList left = Entries(QString::fromStdString(work->Path()));
        left.removeAll("setting.ini");
        left.removeAll("tools");
        return left;
    }

    // Replays the dump into a fresh database of the same layout, keys included,
    // and compares every table with the staged rows.
    // Restored with psql where backslashes are plain and where they are escapes.
    void ExpectReplayMatchesStaging(const std::string& dump, const std::string& layoutChange)
    {
        for (const char* standardStrings : {"on", "off"}) {
            SCOPED_TRACE(std::string("standard_conforming_strings = ") + standardStrings);
            RunPsql(port, "postgres",
                    std::string("DROP DATABASE IF EXISTS ") + kReplayDatabase + ";\nCREATE DATABASE " +
                        kReplayDatabase + ";\nALTER DATABASE " + kReplayDatabase +
                        " SET standard_conforming_strings = " + standardStrings + ";\n");
            RunPsql(port, kReplayDatabase, ReadFile(PELANTRA_FIXTURES_DIR "/schema.sql") + layoutChange);
            RunPsql(port, kReplayDatabase, dump);
            for (std::string_view table : kStagedTables) {
                SCOPED_TRACE(std::string(table));
                const std::string rows =
                    "SELECT count(*) || ' ' || coalesce(md5(string_agg(t::text, '|' ORDER BY t::text)), '') FROM ";
                const std::string replayed =
                    RunPsql(port, kReplayDatabase, rows + "public." + std::string(table) + " t;");
                const std::string staged = RunPsql(port, "pendataan", rows + "tmpx." + std::string(table) + " t;");
                EXPECT_EQ(replayed, staged);
            }
            RunPsql(port, "postgres", std::string("DROP DATABASE ") + kReplayDatabase + ";\n");
        }
    }

    // `layoutChange` is SQL that the school-data layout of both databases got.
    void ExpectFullBackupReplays(const std::string& schoolId, const std::string& layoutChange = {})
    {
        const RecordingObserver run = Run(schoolId, destination.path().toStdString());
        ASSERT_EQ(run.outcomes, 1);
        ASSERT_TRUE(run.outcome.ok()) << run.outcome.failure().reason << "\n" << run.outcome.failure().detail;
        const std::string archivePath = run.outcome.value().path;
        ASSERT_EQ(run.statuses.size(), 4u);
        EXPECT_EQ(run.statuses[0], "menulis " + archivePath);
        EXPECT_EQ(run.statuses[1].find("pg_dump"), std::string::npos);
        EXPECT_EQ(run.statuses[3], "selesai");
        const QStringList entries = Entries(destination.path());
        EXPECT_TRUE(entries.contains(QString::fromStdString(archivePath).section('/', -1)));
        EXPECT_TRUE(entries.filter(QRegularExpression("^\\.pelantra-")).isEmpty()) << "temporary archive left behind";
        EXPECT_EQ(LeftInWorkingFolder(), QStringList()) << "working files left behind";

        const std::string dump = ExtractMember(archivePath);
        EXPECT_NE(dump.find("-- Kartesa Ombralu"), std::string::npos);
        if (qgetenv("FAKE_PG_DUMP") == "old-shape") {
            EXPECT_NE(dump.find("SET search_path = tmpx, pg_catalog;*/"), std::string::npos);
        }
        EXPECT_EQ(dump.find("INSERT INTO tmpx."), std::string::npos);
        ExpectReplayMatchesStaging(dump, layoutChange);
        // The check of an archive lets this shape through and restores it.
        const Result<DumpFacts> checked = ReplayArchive(session, MachineArchiver(), archivePath);
        EXPECT_TRUE(checked.ok()) << checked.failure().reason << "\n" << checked.failure().detail;

        EXPECT_TRUE(DropStaging(session).ok());
    }

    std::string port;
    PostgreSQLSession session;
    std::unique_ptr<WorkFolder> work;
    QTemporaryDir destination;
};

TEST_F(BackupWorkerTest, FullBackupReplaysIntoAFreshDatabase)
{
    PELANTRA_REQUIRE_DATABASE(sandboxPort);
    StartOn(sandboxPort);
    ExpectFullBackupReplays(kSchool1);
    ExpectFullBackupReplays(kSchool2); // awkward values, a name with forbidden characters
}

TEST_F(BackupWorkerTest, FullBackupUnderPasswordAuthentication)
{
    PELANTRA_REQUIRE_SCRAM_DATABASE(sandboxPort);
    StartOn(sandboxPort);
    ExpectFullBackupReplays(kSchool1);
}

TEST_F(BackupWorkerTest, OldShapeDumpRewritesToTheSameReplay)
{
    PELANTRA_REQUIRE_DATABASE(sandboxPort);
    StartOn(sandboxPort);
    qputenv("FAKE_PG_DUMP", "old-shape");
    ExpectFullBackupReplays(kSchool2);
    qunsetenv("FAKE_PG_DUMP");
}

TEST_F(BackupWorkerTest, GeneratedAndIdentityColumnsReplay)
{
    PELANTRA_REQUIRE_DATABASE(sandboxPort);
    StartOn(sandboxPort);
    const std::string change =
        "ALTER TABLE public.tugas_tambahan ADD COLUMN nomor bigint GENERATED ALWAYS AS IDENTITY, "
        "ADD COLUMN nomor_dua bigint GENERATED ALWAYS AS (nomor * 2) STORED;\n";
    struct Undo {
        std::string port;
        ~Undo() { RunPsql(port, "pendataan", "ALTER TABLE public.tugas_tambahan DROP COLUMN nomor CASCADE;"); }
    } undo{port};
    RunPsql(port, "pendataan", change);
    ExpectFullBackupReplays(kSchool1, change);
}

TEST_F(BackupWorkerTest, DatabaseWithoutStandardStringsStillRestoresItsBackslashes)
{
    PELANTRA_REQUIRE_DATABASE(sandboxPort);
    StartOn(sandboxPort);
    RunPsql(port, "postgres", "ALTER DATABASE pendataan SET standard_conforming_strings = off;");
    struct Undo {
        std::string port;
        ~Undo() { RunPsql(port, "postgres", "ALTER DATABASE pendataan RESET standard_conforming_strings;"); }
    } undo{port};
    ExpectFullBackupReplays(kSchool2); // a bytea and an address with backslashes

    // Backslashes in every place of a value: first, doubled, before and after
    // a quote, last.
    RunPsql(port, "pendataan",
            "UPDATE sekolah SET nama_dusun = $v$\\awal \\\\ dua '\\ kutip \\' ''\\\\'' akhir\\$v$ "
            "WHERE sekolah_id = '" +
                kSchool2 + "';");
    struct UndoValue {
        std::string port;
        ~UndoValue()
        {
            RunPsql(port, "pendataan", "UPDATE sekolah SET nama_dusun = NULL WHERE sekolah_id = '" + kSchool2 + "';");
        }
    } undoValue{port};
    ExpectFullBackupReplays(kSchool2);
}

TEST_F(BackupWorkerTest, SettingsThatLostThePortStopTheRunBeforeAnyTool)
{
    PELANTRA_REQUIRE_DATABASE(sandboxPort);
    StartOn(sandboxPort);
    work->WriteSettings("", work->ToolsPath());
    RecordingObserver observer;
    const BackupOutcome outcome = RunBackup(session, destination.path().toStdString(), kSchool1, observer);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.failure().reason, "Gagal melakukan koneksi database");
    EXPECT_NE(outcome.failure().detail.find("tidak berisi DefDBPort"), std::string::npos) << outcome.failure().detail;
    EXPECT_TRUE(observer.statuses.empty()) << "nothing was started";
    EXPECT_EQ(Entries(destination.path()), QStringList());
}

TEST_F(BackupWorkerTest, SchoolWithoutRegionRowsIsStillNamed)
{
    PELANTRA_REQUIRE_DATABASE(sandboxPort);
    StartOn(sandboxPort);
    const RecordingObserver run = Run(kSchool4, destination.path().toStdString());
    ASSERT_TRUE(run.outcome.ok()) << run.outcome.failure().reason << "\n" << run.outcome.failure().detail;
    EXPECT_EQ(QString::fromStdString(run.outcome.value().path).section('/', -1).toStdString(),
              "019901__19900004_SD_Inpres_Wilayah_Hilang.std");
}

TEST_F(BackupWorkerTest, AnotherSchoolsArchiveUnderTheSameNameIsNeverReplaced)
{
    PELANTRA_REQUIRE_DATABASE(sandboxPort);
    StartOn(sandboxPort);
    // School 2's archive where school 1's would go, as when two names map
    // to one ("SD Harapan 1", "SD Harapan.1").
    QTemporaryDir other;
    const RecordingObserver first = Run(kSchool2, other.path().toStdString());
    ASSERT_TRUE(first.outcome.ok()) << first.outcome.failure().detail;
    ASSERT_TRUE(DropStaging(session).ok());
    const RecordingObserver own = Run(kSchool1, other.path().toStdString());
    ASSERT_TRUE(own.outcome.ok()) << own.outcome.failure().detail;
    ASSERT_TRUE(DropStaging(session).ok());
    const QString name = QString::fromStdString(own.outcome.value().path).section('/', -1);
    ASSERT_TRUE(QFile::rename(QString::fromStdString(first.outcome.value().path), destination.filePath(name)));
    const std::string earlier = ReadFile(destination.filePath(name).toStdString());

    const RecordingObserver refused = Run(kSchool1, destination.path().toStdString());
    ASSERT_FALSE(refused.outcome.ok());
    const Failure& failure = refused.outcome.failure();
    EXPECT_EQ(failure.reason, "Folder tujuan sudah berisi arsip bernama sama milik " + first.outcome.value().school +
                                  "; backup " + own.outcome.value().school + " ke folder lain");
    EXPECT_NE(failure.detail.find(kSchool2), std::string::npos) << failure.detail;
    EXPECT_NE(failure.detail.find(kSchool1), std::string::npos) << failure.detail;
    // Nothing written: no export ran, the archive is as it was, no Riwayat.
    EXPECT_EQ(refused.statuses.size(), 2u);
    EXPECT_EQ(ReadFile(destination.filePath(name).toStdString()), earlier);
    EXPECT_EQ(Entries(destination.path()), QStringList{name});
    ASSERT_TRUE(DropStaging(session).ok());

    // The school's own archive is replaced, its earlier one kept.
    ASSERT_TRUE(QFile::remove(destination.filePath(name)));
    ASSERT_TRUE(QFile::rename(QString::fromStdString(own.outcome.value().path), destination.filePath(name)));
    const RecordingObserver again = Run(kSchool1, destination.path().toStdString());
    ASSERT_TRUE(again.outcome.ok()) << again.outcome.failure().reason << "\n" << again.outcome.failure().detail;
    EXPECT_EQ(QDir(destination.filePath("Riwayat")).entryList(QDir::Files).size(), 1);
    EXPECT_NE(again.outcome.value().kept, "");
}

TEST_F(BackupWorkerTest, FailuresAreReportedAndLeaveNoPersonalData)
{
    PELANTRA_REQUIRE_DATABASE(sandboxPort);
    StartOn(sandboxPort);
    QDir tools(QString::fromStdString(work->ToolsPath()));
    QTemporaryDir noArchiver;
    ASSERT_TRUE(QDir(noArchiver.path()).mkpath("pgsql/bin"));
    ASSERT_TRUE(QFile::link(QString::fromStdString(MachinePgDump()), noArchiver.filePath("pgsql/bin/pg_dump")));
    QTemporaryDir failingDump;
    ASSERT_TRUE(QDir(failingDump.path()).mkpath("pgsql/bin") && QDir(failingDump.path()).mkpath("php"));
    ASSERT_TRUE(QFile::link("/bin/false", failingDump.filePath("pgsql/bin/pg_dump")));
    ASSERT_TRUE(QFile::link(QString::fromStdString(MachineArchiver()), failingDump.filePath("php/7za")));
    const QString notAFolder = destination.filePath("a-file");
    QFile(notAFolder).open(QIODevice::WriteOnly);

    struct Case {
        const char* name;
        std::string port;
        std::string basedir;
        std::string folder;
        const char* reason;
    };
    const Case cases[] = {
        {"no dump tool", port, "/nonexistent", destination.path().toStdString(),
         "Program export tidak dapat dijalankan dari /nonexistent/pgsql/bin/pg_dump"},
        {"dump tool fails", port, failingDump.path().toStdString(), destination.path().toStdString(),
         "Export data gagal"},
        {"no archiver", port, noArchiver.path().toStdString(), destination.path().toStdString(),
         "Program pengarsip tidak dapat dijalankan"},
        {"folder is a file", port, work->ToolsPath(), notAFolder.toStdString(), "Folder tujuan tidak ditemukan"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        work->WriteSettings(c.port, c.basedir);
        const RecordingObserver run = Run(kSchool1, c.folder);
        ASSERT_FALSE(run.outcome.ok());
        // The reason starts with what happened and, where it is known, what to do.
        EXPECT_EQ(run.outcome.failure().reason.rfind(c.reason, 0), 0u) << run.outcome.failure().reason;
        // The detail names the real tool; only the tool's own words say "export".
        const std::string& detail = run.outcome.failure().detail;
        EXPECT_EQ(detail.find("pg_dump", detail.find('\n')), std::string::npos) << detail;
        if (c.basedir == "/nonexistent") {
            EXPECT_EQ(detail.rfind("/nonexistent/pgsql/bin/pg_dump: failed to start", 0), 0u) << detail;
            // What to do names the folder that holds setting.ini.
            EXPECT_EQ(run.outcome.failure().reason,
                      std::string(c.reason) + "; periksa basedir di setting.ini di folder " + work->Path());
        }
        ASSERT_FALSE(run.statuses.empty());
        EXPECT_EQ(run.statuses.front().rfind("menulis ", 0), 0u);
        EXPECT_EQ(run.statuses.back(), "selesai");
        EXPECT_TRUE(DropStaging(session).ok());
        EXPECT_EQ(Entries(destination.path()), QStringList{"a-file"});
        EXPECT_EQ(LeftInWorkingFolder(), QStringList());
    }
}

} // namespace
} // namespace pelantra
