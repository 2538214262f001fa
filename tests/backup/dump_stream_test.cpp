#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sstream>

#include "archive/archive_format.h"
#include "archive/staged_tables.h"
#include "backup/archive_draft.h"
#include "backup/dump_stream.h"
#include "support/files.h"
#include "support/work_folder.h"

namespace pelantra {
namespace {

const std::string kStandIn7za = PELANTRA_SOURCE_DIR "/tests/stand-ins/7za";

std::string RealArchiver()
{
    return QStandardPaths::findExecutable("7za").toStdString();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

ColumnLists Lists()
{
    ColumnLists lists;
    for (std::string_view table : kStagedTables)
        lists[std::string(table)] = "(a,b)";
    return lists;
}

// A dump of `rows` rows, big enough to fill every pipe on the way.
QByteArray Dump(int rows)
{
    QByteArray dump = "--\n-- PostgreSQL database dump\n--\n\nSET statement_timeout = 0;\nSET row_security = off;\n\n";
    for (int i = 0; i < rows; ++i)
        dump += "INSERT INTO tmpx.ptk VALUES (" + QByteArray::number(i) + ", 'Siti Nur''aini, Jl. Merdeka " +
                QByteArray::number(i * 7919 % 100003) + "');\n";
    return dump + "\n--\n-- PostgreSQL database dump complete\n--\n\n";
}

class DumpStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(RealArchiver().empty()) << "7za not found (package p7zip-full)";
        ASSERT_TRUE(work_.isValid() && destination_.isValid());
        qputenv("REAL_7ZA", QByteArray::fromStdString(RealArchiver()));
        WriteFile(work_.filePath("dump.sql"), kDump);
    }
    void TearDown() override { qunsetenv("FAKE_7ZA"); }

    std::string ArchivePath() const { return destination_.filePath("01_Kab__Hulu_123_SD_N_1.std").toStdString(); }

    // A dump tool that writes `script`'s output; $DUMP names the dump file.
    ToolCommand Exporter(const std::string& script) const
    {
        return {"/bin/sh", {"-c", "DUMP='" + work_.filePath("dump.sql").toStdString() + "'; " + script}, {}};
    }

    // The archive step of a backup: stream, verify, replace.
    Status Back(const ToolCommand& exporter, const std::string& archiver, StreamRun* streamed = nullptr) const
    {
        ToolWatch watch;
        watch.stallLimit = std::chrono::seconds(2);
        ArchiveDraft draft(ArchivePath());
        if (!draft.Ready().ok())
            return draft.Ready();
        watch.growingFile = draft.Path();
        const StreamRun run = StreamDump(exporter, draft.PackCommand(archiver, 0), Lists(), watch);
        if (streamed)
            *streamed = run;
        if (!run.status.ok())
            return run.status;
        if (Status verified = draft.Verify(archiver, run.bytes, watch); !verified.ok())
            return verified;
        if (Result<ReplacedArchive> replaced = draft.Replace(0); !replaced.ok())
            return replaced.failure();
        return {};
    }

    ToolResult SevenZip(std::vector<std::string> arguments) const
    {
        return RunTool({RealArchiver(), std::move(arguments), {}});
    }

    QStringList DestinationEntries() const
    {
        return QDir(destination_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    const QByteArray kDump = Dump(60000);
    QTemporaryDir work_;
    QTemporaryDir destination_;
};

TEST_F(DumpStreamTest, ArchiveHoldsTheRewrittenDumpBehindThePassword)
{
    StreamRun streamed;
    const Status done = Back(Exporter("cat \"$DUMP\""), RealArchiver(), &streamed);
    ASSERT_TRUE(done.ok()) << done.failure().reason << "\n" << done.failure().detail;
    EXPECT_EQ(DestinationEntries(), QStringList{QString::fromStdString(ArchivePath()).section('/', -1)});

    std::istringstream in(kDump.toStdString());
    std::ostringstream rewritten;
    ASSERT_TRUE(RewriteDump(in, rewritten, Lists()).ok());
    EXPECT_EQ(ExtractMember(ArchivePath()), rewritten.str());
    EXPECT_EQ(streamed.bytes, rewritten.str().size());
    EXPECT_EQ(streamed.facts.rows.at("ptk"), 60000u);

    EXPECT_FALSE(SevenZip({"t", "-pwrong", ArchivePath()}).ExitedWith(0));
    const auto members = ParseTechnicalListing(SevenZip({"l", "-slt", "-ptiupanbatur", ArchivePath()}).output);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].path, "kartesa2014.sql");
    EXPECT_EQ(members[0].size, rewritten.str().size());
    EXPECT_TRUE(members[0].encrypted);
}

TEST_F(DumpStreamTest, SecondBackupReplacesTheEarlierArchiveWhole)
{
    WriteFile(work_.filePath("other.txt"), "left over from an older backup");
    ASSERT_TRUE(
        SevenZip({"a", ArchivePath(), work_.filePath("other.txt").toStdString(), "-ptiupanbatur"}).ExitedWith(0));

    ASSERT_TRUE(Back(Exporter("cat \"$DUMP\""), RealArchiver()).ok());
    const auto members = ParseTechnicalListing(SevenZip({"l", "-slt", "-ptiupanbatur", ArchivePath()}).output);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].path, "kartesa2014.sql");
}

TEST_F(DumpStreamTest, EveryFailureKeepsTheEarlierArchiveAndLeavesNothingElse)
{
    WriteFile(QString::fromStdString(ArchivePath()), "earlier good backup");
    const QStringList before = DestinationEntries();

    struct Case {
        const char* name;
        std::string exporter;
        std::string archiver;
        const char* mode;
        const char* reason;
    };
    const std::string cat = "cat \"$DUMP\"";
    const Case cases[] = {
        {"missing archiver", cat, "/nonexistent/php/7za", "",
         "Program pengarsip tidak dapat dijalankan dari /nonexistent/php/7za"},
        {"archiver killed", cat, kStandIn7za, "crash", "Arsip tidak dapat dibuat"},
        {"archiver exits 2", cat, kStandIn7za, "exit2", "Arsip tidak dapat dibuat"},
        {"archiver takes nothing", cat, kStandIn7za, "silent", "Arsip tidak dapat dibuat"},
        {"archiver stops reading", cat, kStandIn7za, "stop-reading", "Pengarsip berhenti menerima data"},
        {"archiver ignores the password", cat, kStandIn7za, "no-password", "Arsip tidak terkunci dengan kata sandi"},
        {"dump tool exits 1 half way", "head -c 300000 \"$DUMP\"; exit 1", RealArchiver(), "", "Export data gagal"},
        {"dump tool killed", "head -c 300000 \"$DUMP\"; kill -KILL $$", RealArchiver(), "", "Export data gagal"},
        {"dump cut inside a value", "head -c 300000 \"$DUMP\"; printf \"\\nINSERT INTO tmpx.ptk VALUES ('cut\"",
         RealArchiver(), "", "Hasil export tidak dapat diolah"},
        {"dump tool hangs", "head -c 1000 \"$DUMP\"; exec sleep 600", RealArchiver(), "",
         "Export data berhenti tanpa kemajuan"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qputenv("FAKE_7ZA", c.mode);
        const Status result = Back(Exporter(c.exporter), c.archiver);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.failure().reason.rfind(c.reason, 0), 0u) << result.failure().reason;
        EXPECT_EQ(ReadFile(ArchivePath()), "earlier good backup");
        EXPECT_EQ(DestinationEntries(), before);
    }
    ASSERT_FALSE(Back({"/nonexistent/pgsql/bin/pg_dump", {}, {}}, RealArchiver()).ok());
    EXPECT_EQ(DestinationEntries(), before);
}

TEST_F(DumpStreamTest, ChattyDumpToolDoesNotHoldUpTheStream)
{
    StreamRun streamed;
    const Status done =
        Back(Exporter("i=0; while [ $i -lt 20000 ]; do echo \"pg_dump: notice $i of a chatty tool\" >&2; i=$((i+1)); "
                      "done; cat \"$DUMP\""),
             RealArchiver(), &streamed);
    ASSERT_TRUE(done.ok()) << done.failure().detail;
    EXPECT_NE(streamed.exportOutput.find("export: notice 19999"), std::string::npos);
    EXPECT_EQ(streamed.exportOutput.find("pg_dump"), std::string::npos);
    EXPECT_LE(streamed.exportOutput.size(), 2u << 17) << "the kept output is bounded";
}

TEST_F(DumpStreamTest, FolderThatIsNotADirectoryFails)
{
    const QString notADirectory = destination_.filePath("plain-file");
    WriteFile(notADirectory, "x");
    ArchiveDraft draft((notADirectory + "/backup.std").toStdString());
    EXPECT_FALSE(draft.Ready().ok());
    EXPECT_EQ(DestinationEntries(), QStringList{"plain-file"});
}

} // namespace
} // namespace pelantra
