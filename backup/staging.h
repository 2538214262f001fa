#pragma once

#include <string>

class PostgreSQLSession;
class Sql;

// The statement that makes one staged table as a copy of its source table.
std::string CreateTmpTableStatement(const std::string& table);
bool CreateTmpTable(Sql& sql, const std::string& table);

// Key of the session-level advisory lock that keeps one backup per database
// from staging until the staging schema is dropped.
inline constexpr long long kBackupLockKey = 0x50454C414E545241; // "PELANTRA"
