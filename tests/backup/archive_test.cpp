#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "backup/archive.h"
#include "backup/tool_run.h"

namespace pelantra {
namespace {

const std::string kFakeArchiver = PELANTRA_SOURCE_DIR "/tests/backup/fake-archiver";

std::string RealArchiver()
{
    return QStandardPaths::findExecutable("7za").toStdString();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (RealArchiver().empty())
            GTEST_FAIL() << "7za not found (package p7zip-full)";
        ASSERT_TRUE(work_.isValid() && destination_.isValid());
        WriteFile(work_.filePath("kartesa2014.sql"), kDump);
    }

    std::string ArchivePath() const { return destination_.filePath("01_Kab__Hulu_123_SD_N_1.std").toStdString(); }
    std::string WorkPath() const { return work_.path().toStdString(); }

    ArchiveRun Pack(const std::string& archiver) const
    {
        return PackArchive(archiver, ArchivePath(), WorkPath(), static_cast<std::uint64_t>(kDump.size()));
    }

    ToolResult SevenZip(std::vector<std::string> arguments) const
    {
        return RunTool({RealArchiver(), std::move(arguments), WorkPath(), {}});
    }

    QStringList DestinationEntries() const
    {
        return QDir(destination_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    const QByteArray kDump = "/*SET statement_timeout = 0;*/\nINSERT INTO sekolah(sekolah_id) VALUES ('x');\n";
    QTemporaryDir work_;
    QTemporaryDir destination_;
};

TEST_F(ArchiveTest, ArchiveHoldsTheDumpBehindThePassword)
{
    const ArchiveRun result = Pack(RealArchiver());
    ASSERT_TRUE(result.status.ok()) << result.status.failure().reason << "\n" << result.status.failure().detail;
    EXPECT_EQ(DestinationEntries(), QStringList{QString::fromStdString(ArchivePath()).section('/', -1)});

    const ToolResult extracted = SevenZip({"x", "-so", "-ptiupanbatur", ArchivePath(), "kartesa2014.sql"});
    ASSERT_TRUE(extracted.ExitedWith(0)) << extracted.output;
    EXPECT_NE(extracted.output.find(kDump.toStdString()), std::string::npos);

    const ToolResult wrongPassword = SevenZip({"t", "-pwrong", ArchivePath()});
    EXPECT_FALSE(wrongPassword.ExitedWith(0));

    const ToolResult listing = SevenZip({"l", "-slt", "-ptiupanbatur", ArchivePath()});
    const auto members = ParseTechnicalListing(listing.output);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].path, "kartesa2014.sql");
    EXPECT_EQ(members[0].size, static_cast<std::uint64_t>(kDump.size()));
}

TEST_F(ArchiveTest, SecondBackupReplacesTheEarlierArchiveWhole)
{
    WriteFile(work_.filePath("other.txt"), "left over from an older backup");
    ASSERT_TRUE(SevenZip({"a", ArchivePath(), "other.txt", "-ptiupanbatur"}).ExitedWith(0));

    const ArchiveRun result = Pack(RealArchiver());
    ASSERT_TRUE(result.status.ok()) << result.status.failure().reason << "\n" << result.status.failure().detail;
    const auto members = ParseTechnicalListing(SevenZip({"l", "-slt", "-ptiupanbatur", ArchivePath()}).output);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].path, "kartesa2014.sql");
}

TEST_F(ArchiveTest, EveryFailureKeepsTheEarlierArchiveAndLeavesNothingElse)
{
    WriteFile(QString::fromStdString(ArchivePath()), "earlier good backup");
    const QStringList before = DestinationEntries();

    struct Case {
        const char* name;
        std::string archiver;
        const char* mode;
    };
    const Case cases[] = {
        {"missing archiver", "/nonexistent/php/7za", ""},
        {"archiver killed", kFakeArchiver, "crash"},
        {"archiver exits 2", kFakeArchiver, "exit2"},
        {"archiver writes nothing", kFakeArchiver, "silent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qputenv("FAKE_ARCHIVER_MODE", c.mode);
        const ArchiveRun result = Pack(c.archiver);
        ASSERT_FALSE(result.status.ok());
        EXPECT_FALSE(result.status.failure().reason.empty());
        EXPECT_EQ(ReadFile(QString::fromStdString(ArchivePath())), QByteArray("earlier good backup"));
        EXPECT_EQ(DestinationEntries(), before);
    }
    qunsetenv("FAKE_ARCHIVER_MODE");
}

TEST_F(ArchiveTest, FolderThatIsNotADirectoryFails)
{
    const QString notADirectory = destination_.filePath("plain-file");
    WriteFile(notADirectory, "x");
    const ArchiveRun result =
        PackArchive(RealArchiver(), (notADirectory + "/backup.std").toStdString(), WorkPath(), kDump.size());
    EXPECT_FALSE(result.status.ok());
    EXPECT_EQ(DestinationEntries(), QStringList{"plain-file"});
}

TEST(ToolRun, TellsApartStartFailureCrashAndExitCode)
{
    EXPECT_EQ(RunTool({"/nonexistent/tool", {}, {}, {}}).status, ToolResult::Status::FailedToStart);

    const ToolResult crashed = RunTool({"/bin/sh", {"-c", "echo before; kill -KILL $$"}, {}, {}});
    EXPECT_EQ(crashed.status, ToolResult::Status::Crashed);
    EXPECT_EQ(crashed.output, "before\n");

    const ToolResult exited = RunTool({"/bin/sh", {"-c", "echo out; echo err >&2; exit 3"}, {}, {{"X", "1"}}});
    EXPECT_TRUE(exited.ExitedWith(3));
    EXPECT_NE(exited.output.find("out"), std::string::npos);
    EXPECT_NE(exited.output.find("err"), std::string::npos);

    const ToolResult environment =
        RunTool({"/bin/sh", {"-c", "printf %s \"$PELANTRA_PROBE\""}, {}, {{"PELANTRA_PROBE", "v"}}});
    EXPECT_EQ(environment.output, "v");
}

} // namespace
} // namespace pelantra
