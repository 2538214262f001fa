#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "core/database.h"
#include "core/school_list.h"
#include "support/test_database.h"
#include "support/work_folder.h"

namespace pelantra {
namespace {

struct CliRun {
    int exitCode;
    std::string out;
    std::string err;
};

CliRun RunCliWith(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "pelantra-cli");
    std::ostringstream out;
    std::ostringstream err;
    const int code = RunCli(static_cast<int>(arguments.size()), arguments.data(), out, err);
    return {code, out.str(), err.str()};
}

TEST(Cli, UsageErrorsExitTwo)
{
    EXPECT_EQ(RunCliWith({}).exitCode, 2);
    EXPECT_EQ(RunCliWith({"restore"}).exitCode, 2);
    EXPECT_EQ(RunCliWith({"backup", "only-an-id"}).exitCode, 2);
    EXPECT_EQ(RunCliWith({"backup", "id", ""}).exitCode, 2);
    const CliRun help = RunCliWith({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("pelantra-cli backup <sekolah_id> <folder>"), std::string::npos);
}

TEST(Cli, RefusedConnectionSaysSoAndExitsOne)
{
    WorkFolder work("1");
    const CliRun run = RunCliWith({"schools"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("Gagal melakukan koneksi database\n", 0), 0u) << run.err;
    EXPECT_TRUE(run.out.empty());
}

TEST(Cli, SchoolsAreListedAsTheWindowFillsThem)
{
    PELANTRA_REQUIRE_DATABASE(port);
    WorkFolder work(port);
    const CliRun run = RunCliWith({"schools"});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    PostgreSQLSession session;
    ASSERT_TRUE(session.OpenOnPort(port));
    std::string expected;
    for (const SchoolEntry& school : LoadSchoolList(session))
        expected += school.id + "\t" + school.name + "\n";
    EXPECT_EQ(run.out, expected);

    const std::string twoAccounts = "5e000000-0000-4000-8000-000000000001\tSD Negeri 1 Hulu\n";
    const size_t first = run.out.find(twoAccounts);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(run.out.find(twoAccounts, first + 1), std::string::npos);
    EXPECT_EQ(run.out.find("5e000000-0000-4000-8000-000000000003"), std::string::npos);
}

TEST(Cli, BackupReportsSuccessAndFailureHonestly)
{
    PELANTRA_REQUIRE_DATABASE(port);
    WorkFolder work(port);
    QTemporaryDir folder;

    const CliRun done =
        RunCliWith({"backup", "5e000000-0000-4000-8000-000000000005", folder.path().toUtf8().constData()});
    ASSERT_EQ(done.exitCode, 0) << done.err;
    EXPECT_EQ(done.out.rfind("Menyiapkan data...\nmenulis " + folder.path().toStdString() +
                                 "/010101_Kab__Hulu_10100005_TK_Kosong.std\n",
                             0),
              0u)
        << done.out;
    EXPECT_NE(done.out.find("selesai\nBackup data telah berhasil dilakukan\n"), std::string::npos) << done.out;

    const CliRun unknown = RunCliWith({"backup", "x' OR '1'='1", folder.path().toUtf8().constData()});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err.rfind("Backup data gagal dilakukan\nSekolah tidak ditemukan\n", 0), 0u) << unknown.err;
}

} // namespace
} // namespace pelantra
