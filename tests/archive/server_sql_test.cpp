#include <gtest/gtest.h>

#include "archive/server_sql.h"

namespace pelantra {
namespace {

// The servers the tests run on start at 10; what 9.x lacks is only seen here.
TEST(ServerSql, NineTwoGetsNothingItLacks)
{
    const ServerSql server(90224);
    EXPECT_EQ(server.CreateStagedTable("ptk"), "CREATE UNLOGGED TABLE tmpx.ptk(LIKE public.ptk INCLUDING DEFAULTS)");
    EXPECT_EQ(server.LockTimeout(std::chrono::seconds(10)), std::nullopt);
    EXPECT_EQ(server.ColumnsQuery().find("identity_generation"), std::string::npos);
    EXPECT_EQ(server.ColumnsQuery().find("is_generated"), std::string::npos);

    EXPECT_EQ(ServerSql(90300).LockTimeout(std::chrono::seconds(10)), "SET LOCAL lock_timeout = 10000");
}

} // namespace
} // namespace pelantra
