#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "archive/staged_tables.h"
#include "backup/staging.h"
#include "core/database.h"
#include "support/test_database.h"

namespace pelantra {
namespace {

const std::string kSchool1 = "5e000000-0000-4000-8000-000000000001";
const std::string kSchool2 = "5e000000-0000-4000-8000-000000000002";
const std::string kSchool5 = "5e000000-0000-4000-8000-000000000005";

class StagingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PELANTRA_REQUIRE_DATABASE(sandboxPort);
        port = sandboxPort;
        ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
        Command("DROP SCHEMA IF EXISTS tmpx CASCADE");
    }

    void TearDown() override
    {
        if (session.IsOpen()) {
            Command("DROP SCHEMA IF EXISTS tmpx CASCADE");
            Scalar("SELECT pg_advisory_unlock_all()");
        }
    }

    std::string Scalar(const std::string& statement, const SqlParams& params = {})
    {
        return pelantra::Scalar(session, statement, params);
    }
    void Command(const std::string& statement)
    {
        Sql sql(session);
        EXPECT_TRUE(sql.Execute(statement)) << statement << "\n" << sql.ErrorText();
    }

    bool StagingExists() { return Scalar("SELECT count(*) FROM pg_namespace WHERE nspname='tmpx'") == "1"; }
    int Rows(const std::string& table) { return std::stoi(Scalar("SELECT count(*) FROM tmpx." + table)); }

    std::string port;
    PostgreSQLSession session;
};

TEST_F(StagingTest, StagesEverySourceRowOfTheSchoolOnce)
{
    const auto result = StageSchool(session, kSchool1);
    ASSERT_TRUE(result.ok()) << result.failure().reason << "\n" << result.failure().detail;

    for (std::string_view table : kStagedTables) {
        SCOPED_TRACE(std::string(table));
        const std::string name(table);
        EXPECT_EQ(Scalar("SELECT count(*) - count(DISTINCT t.*) FROM tmpx." + name + " t"), "0");
    }
    EXPECT_EQ(Rows("sekolah"), 1);
    EXPECT_GE(result.value().rows.tableBytes, std::uint64_t{8192} * kStagedTables.size());
    EXPECT_EQ(Scalar("SELECT count(*) FROM tmpx.sekolah WHERE sekolah_id<>$1", {kSchool1}), "0");
    // The twice-registered student and the staff member registered twice at
    // this school and once elsewhere each come once.
    EXPECT_EQ(
        Scalar("SELECT count(*) FROM tmpx.peserta_didik WHERE peserta_didik_id='9d000000-0000-4000-8000-000000000001'"),
        "1");
    EXPECT_EQ(Scalar("SELECT count(*) FROM tmpx.ptk WHERE ptk_id='9e000000-0000-4000-8000-000000000001'"), "1");
    EXPECT_EQ(Scalar("SELECT count(*) FROM tmpx.ptk WHERE ptk_id='9e000000-0000-4000-8000-000000000002'"), "1");
    EXPECT_GE(Rows("registrasi_peserta_didik"), 2);
    for (const char* history :
         {"riwayat_gaji_berkala", "rwy_kepangkatan", "rwy_pend_formal", "rwy_fungsional", "tugas_tambahan"}) {
        SCOPED_TRACE(history);
        EXPECT_GT(Rows(history), 0);
        EXPECT_EQ(Scalar(std::string("SELECT count(*) FROM ") + history +
                             " WHERE ptk_id IN "
                             "(SELECT ptk_id FROM ptk_terdaftar WHERE sekolah_id=$1)",
                         {kSchool1}),
                  std::to_string(Rows(history)));
    }
    // Copies keep the source's columns and defaults, nothing else.
    EXPECT_EQ(Scalar("SELECT count(*) FROM pg_indexes WHERE schemaname='tmpx'"), "0");
    EXPECT_EQ(
        Scalar(
            "SELECT count(*) FROM information_schema.columns WHERE table_schema='tmpx' AND column_default IS NOT NULL"),
        Scalar("SELECT count(*) FROM information_schema.columns c WHERE table_schema='public' AND column_default IS "
               "NOT NULL "
               "AND table_name IN (SELECT table_name FROM information_schema.tables WHERE table_schema='tmpx')"));
}

TEST_F(StagingTest, SchoolWithoutRowsGivesEmptyTablesThatExist)
{
    ASSERT_TRUE(StageSchool(session, kSchool5).ok());
    EXPECT_EQ(Scalar("SELECT count(*) FROM information_schema.tables WHERE table_schema='tmpx'"), "13");
    EXPECT_EQ(Rows("sekolah"), 1);
    EXPECT_EQ(Rows("ptk") + Rows("peserta_didik") + Rows("rombongan_belajar"), 0);
}

TEST_F(StagingTest, LeftoverStagingOfAnotherSchoolDoesNotLeakIn)
{
    ASSERT_TRUE(StageSchool(session, kSchool2).ok());
    Scalar("SELECT pg_advisory_unlock_all()"); // as if the earlier run had died with its connection

    ASSERT_TRUE(StageSchool(session, kSchool1).ok());
    EXPECT_EQ(Scalar("SELECT count(*) FROM tmpx.sekolah WHERE sekolah_id<>$1", {kSchool1}), "0");
    EXPECT_EQ(Scalar("SELECT count(*) FROM tmpx.ptk_terdaftar WHERE sekolah_id<>$1", {kSchool1}), "0");
}

TEST_F(StagingTest, UnknownOrInjectionShapedIdIsNoSchoolAndLeavesNothing)
{
    for (const std::string id :
         {"5e000000-0000-4000-8000-0000000000ff", "x' OR '1'='1", "'; DROP TABLE sekolah; --", ""}) {
        SCOPED_TRACE(id);
        const auto result = StageSchool(session, id);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.failure().reason, "Sekolah tidak ditemukan");
        EXPECT_FALSE(StagingExists());
    }
    EXPECT_NE(Scalar("SELECT count(*) FROM sekolah"), "0");
    // The lock was given back.
    ASSERT_TRUE(StageSchool(session, kSchool1).ok());
}

TEST_F(StagingTest, AnotherBackupHoldingTheLockBlocksWithNothingChanged)
{
    PostgreSQLSession other;
    ASSERT_TRUE(other.OpenOnPort(port));
    Sql lock(other);
    ASSERT_TRUE(lock.Query("SELECT pg_advisory_lock($1)", {std::to_string(kBackupLockKey)}));

    const auto result = StageSchool(session, kSchool1);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.failure().reason, "Backup lain sedang berjalan pada database ini");
    EXPECT_FALSE(StagingExists());

    // The lock goes with the other backend, once it has ended.
    const std::string otherBackend = pelantra::Scalar(other, "SELECT pg_backend_pid()");
    other.Close();
    for (int waited = 0;
         waited < 100 && Scalar("SELECT count(*) FROM pg_stat_activity WHERE pid=$1::int", {otherBackend}) != "0";
         ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(StageSchool(session, kSchool1).ok());
}

TEST_F(StagingTest, FailingStatementRollsEverythingBack)
{
    Command("ALTER TABLE tugas_tambahan RENAME TO tugas_tambahan_moved");
    const auto result = StageSchool(session, kSchool1);
    Command("ALTER TABLE tugas_tambahan_moved RENAME TO tugas_tambahan");

    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.failure().reason, "Data sekolah tidak dapat disiapkan");
    EXPECT_NE(result.failure().detail.find("tugas_tambahan"), std::string::npos) << result.failure().detail;
    EXPECT_FALSE(StagingExists());
    ASSERT_TRUE(StageSchool(session, kSchool1).ok());
}

TEST_F(StagingTest, LeftoverStagingLockedOrUsedElsewhereIsLeftAlone)
{
    ASSERT_TRUE(StageSchool(session, kSchool2).ok()); // left over

    // Locked by another session: staging gives up after its lock timeout.
    PostgreSQLSession other;
    ASSERT_TRUE(other.OpenOnPort(port));
    Sql holder(other);
    ASSERT_TRUE(holder.Execute("BEGIN") && holder.Execute("LOCK TABLE tmpx.ptk IN ACCESS SHARE MODE"));
    const auto busy = StageSchool(session, kSchool1, std::chrono::milliseconds(300));
    ASSERT_FALSE(busy.ok());
    EXPECT_EQ(busy.failure().reason, "Skema tmpx sedang dipakai program lain; coba lagi nanti");
    ASSERT_TRUE(holder.Execute("ROLLBACK"));

    // Used by an object outside it: nothing is dropped, and the user is told which.
    Command("CREATE VIEW public.lihat_ptk AS SELECT * FROM tmpx.ptk");
    const auto used = StageSchool(session, kSchool1);
    ASSERT_FALSE(used.ok());
    EXPECT_EQ(used.failure().reason, "Skema tmpx dipakai objek database lain, jadi tidak dihapus");
    EXPECT_NE(used.failure().detail.find("lihat_ptk"), std::string::npos) << used.failure().detail;
    EXPECT_FALSE(DropStaging(session).ok());
    EXPECT_EQ(Scalar("SELECT count(*) FROM pg_views WHERE viewname='lihat_ptk'"), "1");
    Command("DROP VIEW public.lihat_ptk");
    EXPECT_TRUE(StageSchool(session, kSchool1).ok());
}

TEST_F(StagingTest, FinishDropsStagingAndReleasesTheLock)
{
    PostgreSQLSession other;
    ASSERT_TRUE(other.OpenOnPort(port));
    auto lockTaken = [&other] {
        Sql probe(other);
        EXPECT_TRUE(probe.Query("SELECT pg_try_advisory_lock($1)", {std::to_string(kBackupLockKey)}));
        const bool taken = probe.Fetch() && probe[0] == "t";
        if (taken) {
            EXPECT_TRUE(probe.Query("SELECT pg_advisory_unlock($1)", {std::to_string(kBackupLockKey)}));
        }
        return taken;
    };
    {
        const auto staged = StageSchool(session, kSchool1);
        ASSERT_TRUE(staged.ok());
        EXPECT_FALSE(lockTaken()) << "the staged school holds the lock";
        EXPECT_TRUE(DropStaging(session).ok());
    }
    EXPECT_FALSE(StagingExists());
    EXPECT_TRUE(lockTaken());
}

} // namespace
} // namespace pelantra
