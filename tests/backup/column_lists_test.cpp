#include <gtest/gtest.h>

#include "archive/server_sql.h"
#include "archive/staged_tables.h"
#include "backup/column_lists.h"
#include "core/database.h"
#include "support/test_database.h"

namespace pelantra {
namespace {

TEST(ColumnLists, NamesAreQuotedAsTheServerQuotesThem)
{
    PELANTRA_REQUIRE_DATABASE(port);
    PostgreSQLSession session;
    ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();

    Transaction change(session); // rolled back at the end
    ASSERT_TRUE(change.Begun());
    ASSERT_TRUE(change.Execute("ALTER TABLE public.ptk ADD COLUMN \"user\" text, ADD COLUMN \"Nama Lengkap\" text, "
                               "ADD COLUMN name text, ADD COLUMN \"o\"\"q\" text"))
        << change.ErrorText();

    const Result<TableColumnsMap> lists = LoadTableColumns(change, ServerSql(session.ServerVersion()));
    ASSERT_TRUE(lists.ok()) << lists.failure().detail;
    EXPECT_EQ(lists.value().size(), kStagedTables.size());
    const std::string& ptk = lists.value().at("ptk").replayed;
    EXPECT_EQ(ptk.rfind("(ptk_id,", 0), 0u) << ptk;
    // A reserved word and a mixed-case name are quoted, a keyword that may
    // stand bare is not, and an inner quote is doubled.
    EXPECT_TRUE(ptk.ends_with(",\"user\",\"Nama Lengkap\",name,\"o\"\"q\")")) << ptk;
}

} // namespace
} // namespace pelantra
