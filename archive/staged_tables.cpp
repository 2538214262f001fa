#include "archive/staged_tables.h"

namespace pelantra {

std::string Staged(std::string_view table)
{
    return std::string(kStagingSchema) + "." + std::string(table);
}

std::string StagedTablesArray()
{
    std::string tables = "{";
    for (std::string_view table : kStagedTables)
        tables.append(tables.size() > 1 ? "," : "").append(table);
    return tables + "}";
}

} // namespace pelantra
