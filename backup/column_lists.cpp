#include "backup/column_lists.h"

#include <map>
#include <vector>

#include "app/database.h"
#include "backup/staged_tables.h"

std::optional<ColumnLists> LoadColumnLists(PostgreSQLSession& session, std::string& error)
{
    std::string tableArray = "{";
    for (std::string_view table : kStagedTables) {
        if (tableArray.size() > 1)
            tableArray += ',';
        tableArray += table;
    }
    tableArray += '}';

    Sql sql(session);
    if (!sql.Execute("SELECT table_name, column_name FROM information_schema.columns "
                     "WHERE table_schema='public' AND table_name = ANY($1::text[]) "
                     "ORDER BY table_name, ordinal_position",
                     {tableArray})) {
        error = sql.ErrorText();
        return std::nullopt;
    }
    std::map<std::string, std::vector<std::string>> names;
    while (sql.Fetch())
        names[sql[0]].push_back(sql[1]);

    ColumnLists lists;
    for (std::string_view table : kStagedTables) {
        const auto found = names.find(std::string(table));
        if (found == names.end()) {
            error = "no columns found for table public." + std::string(table);
            return std::nullopt;
        }
        lists.emplace(std::string(table), ColumnList(found->second));
    }
    return lists;
}
