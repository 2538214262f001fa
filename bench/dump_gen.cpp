#include "dump_gen.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <random>
#include <vector>

#include "archive/staged_tables.h"

namespace pelantra {
namespace {

constexpr int kColumns = 8;

std::string Uuid(std::mt19937_64& rng)
{
    char buf[40];
    const unsigned long long a = rng(), b = rng();
    std::snprintf(buf, sizeof buf, "%08llx-%04llx-%04llx-%04llx-%012llx", a >> 32, (a >> 16) & 0xffff, a & 0xffff,
                  b >> 48, b & 0xffffffffffffULL);
    return buf;
}

// The one school of the dump: its row, and every row of the tables chosen
// by its key, name it.
constexpr const char* kSchoolId = "00000000-0000-4000-8000-000000000001";

// Tables other than the school's own whose rows are chosen by the school's key.
bool NamesTheSchool(std::string_view table)
{
    for (const StagedTable& staged : kStagedTableList) {
        if (staged.name == table)
            return staged.through.empty() && table != kSchoolTable;
    }
    return false;
}

} // namespace

ColumnLists GeneratedColumnLists()
{
    ColumnLists lists;
    for (std::string_view t : kStagedTables) {
        std::string list = "(";
        list.append(t).append("_id");
        for (int c = 1; c < kColumns; ++c)
            list += c == 1 && NamesTheSchool(t) ? std::string(",") + std::string(kSchoolKey)
                                                : ",kolom_" + std::to_string(c);
        lists[std::string(t)] = list + ")";
    }
    return lists;
}

void GenerateDump(std::ostream& out, std::size_t targetBytes, bool modern)
{
    std::mt19937_64 rng(42);
    static const char* names[] = {"Budi Santoso", "Siti Aminah",    "O''Brien",          "Dewi Lestari",
                                  "Ahmad Fauzi",  "Rina Wulandari", "Jl. Merdeka No. 5", "SD N.1 Hulu"};
    std::vector<std::string> tables(kStagedTables.begin(), kStagedTables.end());
    std::sort(tables.begin(), tables.end());
    std::string buf;
    buf += "--\n-- PostgreSQL database dump\n--\n\n";
    if (modern)
        buf += "\\restrict duInEbWYVtiI3Icj0fHkKkPdUnlpNk206dsQrTcVds6ytT89b09VN2hSpEdSRVD\n\n"
               "-- Dumped from database version 17.6\n-- Dumped by pg_dump version 17.6\n\n";
    buf += "SET statement_timeout = 0;\nSET lock_timeout = 0;\n";
    if (modern)
        buf += "SET idle_in_transaction_session_timeout = 0;\nSET transaction_timeout = 0;\n";
    buf += "SET client_encoding = 'UTF8';\nSET standard_conforming_strings = on;\n";
    if (modern)
        buf += "SELECT pg_catalog.set_config('search_path', '', false);\n";
    buf += "SET check_function_bodies = false;\n";
    if (modern)
        buf += "SET xmloption = content;\n";
    buf += "SET client_min_messages = warning;\n";
    buf += modern ? "SET row_security = off;\n\n" : "\nSET search_path = tmpx, pg_catalog;\n\n";

    const std::size_t perTable = targetBytes / (tables.size() - 1) + 1; // the school is one row
    for (const std::string& t : tables) {
        buf += "--\n-- Data for Name: " + t + "; Type: TABLE DATA; Schema: tmpx; Owner: postgres\n--\n\n";
        const std::string prefix = "INSERT INTO " + std::string(modern ? "tmpx." : "") + t + " VALUES (";
        const bool school = t == kSchoolTable;
        std::size_t tableBytes = 0;
        for (bool more = true; more; more = !school && tableBytes < perTable) {
            const std::size_t before = buf.size();
            buf += prefix;
            buf += '\'';
            buf += school ? kSchoolId : Uuid(rng);
            buf += "', '";
            buf += NamesTheSchool(t) ? kSchoolId : Uuid(rng);
            buf += "', '";
            buf += names[rng() % 8];
            if (rng() % 50 == 0)
                buf += "\nbaris kedua\nbaris ketiga";
            buf += "', '";
            buf += std::to_string(10000000 + rng() % 90000000);
            buf += "', ";
            buf += (rng() % 4 == 0) ? "NULL" : std::to_string(rng() % 100);
            buf += ", '2014-07-21 08:15:00', ";
            buf += (rng() % 2) ? "true" : "false";
            buf += ", '";
            buf += names[rng() % 8];
            buf += "');\n";
            tableBytes += buf.size() - before;
            if (buf.size() > (1u << 20)) {
                out.write(buf.data(), static_cast<std::streamsize>(buf.size()));
                buf.clear();
            }
        }
        buf += "\n\n";
    }
    buf += "--\n-- PostgreSQL database dump complete\n--\n\n";
    if (modern)
        buf += "\\unrestrict duInEbWYVtiI3Icj0fHkKkPdUnlpNk206dsQrTcVds6ytT89b09VN2hSpEdSRVD\n\n";
    out.write(buf.data(), static_cast<std::streamsize>(buf.size()));
}

} // namespace pelantra
