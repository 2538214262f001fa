#include "backup/dump_rewriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "archive/staged_tables.h"
#include "support/files.h"
#include "support/literal_replacements.h"

namespace pelantra {
namespace {

namespace fs = std::filesystem;

const fs::path kDumps = fs::path(PELANTRA_TEST_DATA_DIR) / "dumps";

// Lists for the thirteen tables; prefix-sharing names get different lists so
// a list landing on the wrong table shows.
ColumnLists TestLists()
{
    ColumnLists lists;
    for (std::string_view t : kStagedTables)
        lists[std::string(t)] = std::string("(").append(t).append("_id,nama)");
    lists["ptk"] = "(ptk_id,nama,catatan)";
    lists["ptk_terdaftar"] = "(ptk_terdaftar_id,ptk_id,sekolah_id,tahun_ajaran_id,nomor_surat_tugas)";
    lists["sekolah"] = "(sekolah_id,nama,npsn,kode_wilayah,last_update)";
    lists["peserta_didik"] = "(peserta_didik_id,nama)";
    lists["registrasi_peserta_didik"] = "(registrasi_id,peserta_didik_id,jenis)";
    return lists;
}

struct Rewritten {
    Status result;
    std::string text;
};

Rewritten Rewrite(const std::string& dump, const ColumnLists& lists = TestLists())
{
    std::istringstream in(dump);
    std::ostringstream out;
    Rewritten r;
    r.result = RewriteDump(in, out, lists);
    r.text = out.str();
    return r;
}

std::string Crlf(const std::string& s)
{
    std::string r;
    for (char c : s) {
        if (c == '\n')
            r += '\r';
        r += c;
    }
    return r;
}

const std::string kModernHead = "--\n-- PostgreSQL database dump\n--\n\n\\restrict KEY\n\n"
                                "SET statement_timeout = 0;\nSET client_encoding = 'UTF8';\n"
                                "SET standard_conforming_strings = on;\n"
                                "SELECT pg_catalog.set_config('search_path', '', false);\nSET row_security = off;\n\n";
const std::string kModernHeadOut =
    "--\n-- Kartesa Ombralu\n--\n\n-- \\restrict KEY\n\n"
    "/*SET statement_timeout = 0;\nSET client_encoding = 'UTF8';\n"
    "SET standard_conforming_strings = on;\n"
    "SELECT pg_catalog.set_config('search_path', '', false);\nSET row_security = off;*/\n\n";
const std::string kTail = "\n--\n-- PostgreSQL database dump complete\n--\n\n\\unrestrict KEY\n\n";
const std::string kTailOut = "\n--\n-- Kartesa Ombralu complete\n--\n\n-- \\unrestrict KEY\n\n";

// --- The dumps of the three pg_dump shapes ---------------------------------

TEST(DumpRewriterGolden, EachShapeRewritesToItsGoldenFile)
{
    for (const char* name : {"old-search-path", "modern-pg15", "modern-pg17"}) {
        SCOPED_TRACE(name);
        const Rewritten r = Rewrite(ReadFile(kDumps / (std::string(name) + ".sql")));
        ASSERT_TRUE(r.result.ok()) << r.result.failure().detail;
        EXPECT_EQ(r.text, ReadFile(kDumps / (std::string(name) + ".rewritten.sql")));
    }
}

TEST(DumpRewriterGolden, CrlfLineEndsAreKept)
{
    for (const char* name : {"old-search-path", "modern-pg17"}) {
        SCOPED_TRACE(name);
        const Rewritten r = Rewrite(Crlf(ReadFile(kDumps / (std::string(name) + ".sql"))));
        ASSERT_TRUE(r.result.ok()) << r.result.failure().detail;
        EXPECT_EQ(r.text, Crlf(ReadFile(kDumps / (std::string(name) + ".rewritten.sql"))));
    }
}

// --- INSERT statements -------------------------------------------------------

TEST(DumpRewriterInsert, PrefixSharingTablesEachGetTheirOwnList)
{
    const std::string body = "INSERT INTO tmpx.ptk VALUES ('a', 'b', 'c');\n"
                             "INSERT INTO tmpx.ptk_terdaftar VALUES ('a', 'b', 'c', 2014, 'd');\n"
                             "INSERT INTO \"tmpx\".\"peserta_didik\" VALUES ('a', 'b');\n"
                             "INSERT INTO tmpx.\"registrasi_peserta_didik\" VALUES ('a', 'b', 1);\n"
                             "INSERT INTO ptk VALUES ('bare', 'b', 'c');\n"
                             "INSERT INTO registrasi_peserta_didik VALUES ('bare', 'b', 1);\n";
    const Rewritten r = Rewrite(kModernHead + body + kTail);
    ASSERT_TRUE(r.result.ok()) << r.result.failure().detail;
    EXPECT_EQ(r.text, kModernHeadOut +
                          "INSERT INTO ptk(ptk_id,nama,catatan) VALUES ('a', 'b', 'c');\n"
                          "INSERT INTO ptk_terdaftar(ptk_terdaftar_id,ptk_id,sekolah_id,tahun_ajaran_id,"
                          "nomor_surat_tugas) VALUES ('a', 'b', 'c', 2014, 'd');\n"
                          "INSERT INTO peserta_didik(peserta_didik_id,nama) VALUES ('a', 'b');\n"
                          "INSERT INTO registrasi_peserta_didik(registrasi_id,peserta_didik_id,jenis) "
                          "VALUES ('a', 'b', 1);\n"
                          "INSERT INTO ptk(ptk_id,nama,catatan) VALUES ('bare', 'b', 'c');\n"
                          "INSERT INTO registrasi_peserta_didik(registrasi_id,peserta_didik_id,jenis) "
                          "VALUES ('bare', 'b', 1);\n" +
                          kTailOut);
}

TEST(DumpRewriterInsert, OtherTablesAndSchemasPassUnchanged)
{
    const std::string body = "INSERT INTO tmpx.lain VALUES (1);\n"
                             "INSERT INTO public.ptk VALUES (1);\n"
                             "INSERT INTO tmpx.\"Odd Name\" VALUES (1);\n"
                             "INSERT INTO ptk_lama VALUES (1);\n";
    const Rewritten r = Rewrite(kModernHead + body + kTail);
    ASSERT_TRUE(r.result.ok()) << r.result.failure().detail;
    EXPECT_EQ(r.text, kModernHeadOut + body + kTailOut);
}

TEST(DumpRewriterInsert, EmptyTablesNeedNoList)
{
    // No rows at all: only the header and trailer, and no list is asked for.
    const Rewritten r = Rewrite(kModernHead + kTail, ColumnLists{});
    ASSERT_TRUE(r.result.ok()) << r.result.failure().detail;
    EXPECT_EQ(r.text, kModernHeadOut + kTailOut);
}

TEST(DumpRewriterInsert, MissingOrEmptyListForRowsFails)
{
    ColumnLists lists = TestLists();
    lists.erase("sekolah");
    EXPECT_FALSE(Rewrite(kModernHead + "INSERT INTO tmpx.sekolah VALUES (1);\n" + kTail, lists).result.ok());
    lists["sekolah"] = "()";
    const Rewritten r = Rewrite(kModernHead + "INSERT INTO tmpx.sekolah VALUES (1);\n" + kTail, lists);
    ASSERT_FALSE(r.result.ok());
    EXPECT_NE(r.result.failure().detail.find("sekolah"), std::string::npos);
}

// --- Row values and comments pass byte for byte --------------------------------

TEST(DumpRewriterValues, SearchedTextsInsideValuesStayIntact)
{
    // Every text the rewrite looks for, at the start of a line inside values
    // of each quoting form; the statement after each must still be found.
    const std::string hostile =
        "\nSET statement_timeout = 0;\nSET search_path = tmpx, pg_catalog;\n"
        "-- PostgreSQL database dump\n-- PostgreSQL database dump complete\n"
        "\\restrict X\nINSERT INTO ptk VALUES (1);\nINSERT INTO tmpx.ptk_terdaftar VALUES (1);\n"
        "*/\n/*\n--\n";
    const std::string body = "INSERT INTO tmpx.ptk VALUES ('std" + hostile + "', 'it''s" + hostile +
                             "''', 'C:\\');\n"
                             "INSERT INTO tmpx.ptk VALUES (E'esc\\'" +
                             hostile +
                             "\\\\', e'\\\\', E'a''b\\n');\n"
                             "INSERT INTO tmpx.ptk VALUES ('x', '', '''');\n";
    // A '...' value with a backslash becomes E'...', its backslashes doubled.
    std::string doubled;
    for (char c : hostile)
        doubled.append(c == '\\' ? 2 : 1, c);
    const std::string out = "INSERT INTO ptk(ptk_id,nama,catatan) VALUES (E'std" + doubled + "', E'it''s" + doubled +
                            "''', E'C:\\\\');\n"
                            "INSERT INTO ptk(ptk_id,nama,catatan) VALUES (E'esc\\'" +
                            hostile +
                            "\\\\', e'\\\\', E'a''b\\n');\n"
                            "INSERT INTO ptk(ptk_id,nama,catatan) VALUES ('x', '', '''');\n";
    const Rewritten r = Rewrite(kModernHead + body + kTail);
    ASSERT_TRUE(r.result.ok()) << r.result.failure().detail;
    EXPECT_EQ(r.text, kModernHeadOut + out + kTailOut);
}

TEST(DumpRewriterValues, CommentsAndQuotedNamesAreSkipped)
{
    const std::string body = "/* outer /* nested */\nINSERT INTO ptk VALUES (1);\n*/\n"
                             "-- it's a comment, the quote opens nothing\n"
                             "INSERT INTO tmpx.\"lain\" VALUES (\"a'b\", 1); -- trailing ' quote\n"
                             "INSERT INTO tmpx.ptk VALUES (1, /* ' */ 2, 3);\n";
    const Rewritten r = Rewrite(kModernHead + body + kTail);
    ASSERT_TRUE(r.result.ok()) << r.result.failure().detail;
    EXPECT_EQ(r.text, kModernHeadOut +
                          "/* outer /* nested */\nINSERT INTO ptk VALUES (1);\n*/\n"
                          "-- it's a comment, the quote opens nothing\n"
                          "INSERT INTO tmpx.\"lain\" VALUES (\"a'b\", 1); -- trailing ' quote\n"
                          "INSERT INTO ptk(ptk_id,nama,catatan) VALUES (1, /* ' */ 2, 3);\n" +
                          kTailOut);
}

TEST(DumpRewriterValues, BackslashesAreEscapesOnlyWhenStandardStringsAreOff)
{
    // With standard_conforming_strings off, '\'' does not end the value.
    const std::string head = "SET statement_timeout = 0;\nSET standard_conforming_strings = off;\n\n";
    const std::string body = "INSERT INTO ptk VALUES ('a\\'\nINSERT INTO ptk VALUES (2);\n');\n";
    const Rewritten r = Rewrite(head + body);
    ASSERT_TRUE(r.result.ok()) << r.result.failure().detail;
    EXPECT_EQ(r.text, "/*SET statement_timeout = 0;\nSET standard_conforming_strings = off;*/\n\n"
                      "INSERT INTO ptk(ptk_id,nama,catatan) VALUES ('a\\'\nINSERT INTO ptk VALUES (2);\n');\n");
}

// --- Incomplete dumps ------------------------------------------------------------

TEST(DumpRewriterIncomplete, DumpCutInsideATokenOrStatementFails)
{
    const std::string head = kModernHead + "INSERT INTO tmpx.ptk VALUES (1);\n";
    const std::vector<std::string> cuts = {
        head + "INSERT INTO tmpx.ptk VALUES ('a', 'line1\nline2", // standard value
        head + "INSERT INTO tmpx.ptk VALUES (E'a\\", // E'' after a backslash
        head + "INSERT INTO tmpx.\"lain", // quoted name
        head + "/* comment /* nested */ still open\n", // block comment
        head + "INSERT INTO tmpx.ptk VALUES (1, 2", // between values
        "--\nSET statement_timeout = 0;\nSET lock_timeout = 0;\n", // settings never closed
    };
    for (const std::string& dump : cuts) {
        SCOPED_TRACE(dump);
        EXPECT_FALSE(Rewrite(dump).result.ok());
    }
    // A value that closes right at the end is complete.
    EXPECT_TRUE(Rewrite(head + "INSERT INTO tmpx.ptk VALUES ('a''');").result.ok());
}

// --- Equivalence with the plain text replacements on clean old-shape dumps -------

// A clean old-shape dump: tables in name order, some empty, values with quotes,
// line breaks and comment-like text but none of the searched texts, and no
// backslash (a value with one becomes E'...').
std::string CleanOldDump(unsigned seed)
{
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::vector<std::string> pieces = {"Budi",  "O''Brien",       "line\nbreak", "C:/dir/", "/* x */",
                                             "-- no", "Jl. Merdeka; 5", "\r\n",        "\"q\"",   "INSERT",
                                             "*/",    "SET x = 1;",     "ü ß",         ""};
    std::vector<std::string> tables(kStagedTables.begin(), kStagedTables.end());
    std::sort(tables.begin(), tables.end());
    std::string d = "--\n-- PostgreSQL database dump\n--\n\nSET statement_timeout = 0;\nSET lock_timeout = 0;\n"
                    "SET client_encoding = 'UTF8';\nSET standard_conforming_strings = on;\n"
                    "SET check_function_bodies = false;\nSET client_min_messages = warning;\n\n"
                    "SET search_path = tmpx, pg_catalog;\n\n";
    for (const std::string& t : tables) {
        const int rows = pick(4) == 0 ? 0 : pick(400);
        if (rows == 0)
            continue;
        d += "--\n-- Data for Name: " + t + "; Type: TABLE DATA; Schema: tmpx; Owner: postgres\n--\n\n";
        for (int i = 0; i < rows; ++i) {
            d += "INSERT INTO " + t + " VALUES (" + std::to_string(i);
            for (int c = pick(5); c >= 0; --c) {
                if (pick(5) == 0) {
                    d += ", NULL";
                    continue;
                }
                d += ", '";
                for (int k = pick(4); k >= 0; --k)
                    d += pieces[pick(static_cast<int>(pieces.size()))];
                d += "'";
            }
            d += ");\n";
        }
        d += "\n\n";
    }
    d += "--\n-- PostgreSQL database dump complete\n--\n\n";
    return d;
}

TEST(DumpRewriterEquivalence, CleanOldShapeMatchesTheLiteralReplacements)
{
    const ColumnLists lists = TestLists();
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        const std::string dump = CleanOldDump(seed);
        const Rewritten r = Rewrite(dump, lists);
        ASSERT_TRUE(r.result.ok()) << r.result.failure().detail;
        ASSERT_EQ(r.text, literal::Rewrite(dump, lists));
    }
}

// --- Seeded random dumps ----------------------------------------------------------

TEST(DumpRewriterFuzz, OnlyStatementHeadsChangeWhateverThePieces)
{
    // Each staged table's list is a marker that no input holds, so that taking
    // the markers out of the output must give the input back: the rewrite may
    // only add lists at the start of INSERTs. The same must come out whatever
    // the pieces the dump arrives in. (No piece holds a backslash: a line
    // that starts with one is a psql meta-command and becomes a comment, and
    // a value with one becomes E'...'.)
    ColumnLists lists;
    for (std::string_view t : kStagedTables)
        lists[std::string(t)] = std::string("(#").append(t).append("#)");
    const std::vector<std::string> values = {
        "1",       "NULL",    "'Budi'",  "'it''s'", "'line\nINSERT INTO ptk VALUES (1);\n'",
        "E'a''b'", "'/* no'", "'-- no'", "'C:/'",   "'\r\n;'",
        "'ü'",     "''"};
    const std::vector<std::string> tables = {"ptk", "ptk_terdaftar", "sekolah", "lain", "tmpx.lain"};
    const std::vector<std::string> junk = {"'", "\"", "E'", "--", "/*", "*/", ";", "\n", " ", "x", ")", "$", "-", "/"};
    std::mt19937 random(42);
    int complete = 0;
    int listed = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string dump;
        for (int n = static_cast<int>(random() % 30); n > 0; --n) {
            if (random() % 8 == 0) {
                dump += junk[random() % junk.size()];
                continue;
            }
            dump += "INSERT INTO " + tables[random() % tables.size()] + " VALUES (";
            for (int v = static_cast<int>(random() % 4); v >= 0; --v)
                dump += values[random() % values.size()] + (v ? ", " : "");
            dump += random() % 4 ? ");\n" : ");\r\n-- done\n";
        }
        SCOPED_TRACE(dump);

        std::string whole;
        DumpRewriter once(lists, [&whole](std::string_view piece) {
            whole.append(piece);
            return true;
        });
        Status status = once.Feed(dump);
        if (status.ok())
            status = once.Finish();

        std::string pieces;
        DumpRewriter chunked(lists, [&pieces](std::string_view piece) {
            pieces.append(piece);
            return true;
        });
        Status chunkedStatus;
        for (std::size_t at = 0; at < dump.size() && chunkedStatus.ok();) {
            const std::size_t length = 1 + random() % 40;
            chunkedStatus = chunked.Feed(std::string_view(dump).substr(at, length));
            at += length;
        }
        if (chunkedStatus.ok())
            chunkedStatus = chunked.Finish();

        ASSERT_EQ(status.ok(), chunkedStatus.ok());
        ASSERT_EQ(whole, pieces);
        std::string unmarked;
        for (std::size_t at = 0; at < whole.size();) {
            const std::size_t open = whole.find("(#", at);
            const std::size_t close = open == std::string::npos ? open : whole.find("#)", open);
            unmarked.append(whole, at, (open == std::string::npos ? whole.size() : open) - at);
            at = open == std::string::npos ? whole.size() : close + 2;
        }
        if (status.ok())
            ASSERT_EQ(unmarked, dump);
        else
            ASSERT_EQ(dump.rfind(unmarked, 0), 0u) << "what came out is not the dump's start";
        complete += status.ok();
        listed += unmarked.size() < whole.size();
    }
    // The pieces make both complete dumps and ones that get lists.
    EXPECT_GT(complete, 100);
    EXPECT_GT(listed, 100);
}

} // namespace
} // namespace pelantra
