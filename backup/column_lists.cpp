#include "backup/column_lists.h"

#include "backup/staged_tables.h"
#include "core/database.h"

namespace pelantra {

Result<ColumnLists> LoadColumnLists(PostgreSQLSession& session)
{
    constexpr const char* kUnreadable = "Struktur tabel tidak dapat dibaca";
    std::string tables = "{";
    for (std::string_view table : kStagedTables)
        tables.append(tables.size() > 1 ? "," : "").append(table);
    tables += '}';

    Sql sql(session);
    // An identity column GENERATED ALWAYS takes a replayed value only when
    // the statement overrides it.
    if (!sql.Query("SELECT table_name, '(' || string_agg(quote_ident(column_name), ',' ORDER BY ordinal_position) "
                   "|| ')' || CASE WHEN bool_or(identity_generation = 'ALWAYS') THEN ' OVERRIDING SYSTEM VALUE' "
                   "ELSE '' END FROM information_schema.columns "
                   "WHERE table_schema='public' AND table_name = ANY($1::text[]) GROUP BY table_name",
                   {tables}))
        return Failure{kUnreadable, sql.ErrorText()};
    ColumnLists lists;
    while (sql.Fetch())
        lists.emplace(sql[0], sql[1]);
    for (std::string_view table : kStagedTables) {
        if (!lists.contains(table))
            return Failure{kUnreadable, "no columns found for table public." + std::string(table)};
    }
    return lists;
}

} // namespace pelantra
