#include "archive/archive_grammar.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"

namespace pelantra {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr const char* kForbidden = "Arsip berisi perintah yang tidak diizinkan";
const std::string kRow = "INSERT INTO ptk(ptk_id,nama) VALUES ('1', 'Budi');\n";

struct Read {
    Status status;
    DumpFacts facts;
    std::vector<std::string> rows; // table, then each value (NULL, DEFAULT or [text])
};

// Reads `dump` in pieces of `piece` bytes.
Read ReadDump(const std::string& dump, std::size_t piece = 1 << 16)
{
    Read read;
    ArchiveGrammar grammar([&read](const ArchiveRow& row) {
        std::string shown(row.table);
        for (const ArchiveRow::Value& value : row.values)
            shown += value.kind == ArchiveRow::Value::Kind::Null      ? " NULL"
                     : value.kind == ArchiveRow::Value::Kind::Default ? " DEFAULT"
                                                                      : " [" + std::string(value.text) + "]";
        read.rows.push_back(shown);
        return Status();
    });
    for (std::size_t at = 0; at < dump.size() && read.status.ok(); at += piece)
        read.status = grammar.Feed(std::string_view(dump).substr(at, piece));
    if (read.status.ok())
        read.status = grammar.Finish();
    read.facts = grammar.Facts();
    return read;
}

TEST(ArchiveGrammar, EveryRewrittenDumpShapeIsReadWhole)
{
    for (const char* name : {"old-search-path", "modern-pg15", "modern-pg17"}) {
        SCOPED_TRACE(name);
        const std::string dump =
            ReadFile(fs::path(PELANTRA_TEST_DATA_DIR) / "dumps" / (std::string(name) + ".rewritten.sql"));
        for (std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(1) << 16}) {
            const Read read = ReadDump(dump, piece);
            ASSERT_TRUE(read.status.ok()) << read.status.failure().detail;
            EXPECT_EQ(read.facts.RowsOf("ptk"), 1u);
            EXPECT_EQ(read.facts.RowsOf("sekolah"), 1u);
            EXPECT_TRUE(read.facts.complete);
            ASSERT_TRUE(read.facts.school);
            EXPECT_EQ(read.facts.school->id, "11111111-1111-1111-1111-111111111111");
            EXPECT_EQ(read.facts.school->name, "SD N.1 Hulu");
            EXPECT_EQ(read.facts.school->npsn, "12345678");
            // A value that looks like statements stays one value.
            EXPECT_EQ(read.rows.front(), "ptk [22222222-2222-2222-2222-222222222222] [O'Brien] "
                                         "[line1\nINSERT INTO ptk VALUES (1);\nPostgreSQL database dump]");
        }
    }
}

TEST(ArchiveGrammar, ValuesAreWhatPgDumpWritesAndNothingMore)
{
    const Read read = ReadDump("INSERT INTO tugas_tambahan(a,\"B c\",d,e,f,g,h,i,j) OVERRIDING SYSTEM VALUE VALUES "
                               "(-1.5e+20, NULL, true, FALSE, DEFAULT, '', '\\x0A''', E'C:\\\\d''\\\\', 'a\\\\');\r\n");
    ASSERT_TRUE(read.status.ok()) << read.status.failure().detail;
    EXPECT_EQ(read.rows, std::vector<std::string>{
                             "tugas_tambahan [-1.5e+20] NULL [true] [false] DEFAULT [] [\\x0A'] [C:\\d'\\] [a\\\\]"});
    // Read with backslash escapes, the plain ones would be other values.
    EXPECT_EQ(read.facts.backslashValues, 2u);
}

TEST(ArchiveGrammar, AnythingButDataIsRefusedWithItsLine)
{
    const std::string head = "--\n-- Kartesa Ombralu\n--\n\n/*SET statement_timeout = 0;\nSET x = 1;*/\n\n";
    const std::vector<std::string> refused = {
        "COMMIT;\n",
        "BEGIN;\n",
        "SET ROLE postgres;\n",
        "COPY (SELECT 1) TO PROGRAM 'touch x';\n",
        "DO $$BEGIN PERFORM 1; END$$;\n",
        "CREATE TABLE public.x (a int);\n",
        "\\! touch x\n",
        "\\! touch x\nINSERT INTO ptk(a) VALUES (1);\n",
        "INSERT INTO ptk(a) VALUES (pg_read_file('/etc/passwd'));\n",
        "INSERT INTO ptk(a) VALUES ((SELECT 1));\n",
        "INSERT INTO ptk(a) VALUES ('1'::int);\n",
        "INSERT INTO ptk(a) VALUES (1+1);\n",
        "INSERT INTO ptk(a) VALUES (- 1);\n",
        "INSERT INTO ptk(a) VALUES (0x1F);\n",
        "INSERT INTO ptk(a) VALUES ($$x$$);\n",
        "INSERT INTO ptk(a) VALUES (E'\\'');\n",
        "INSERT INTO ptk(a) VALUES ('a' 'b');\n",
        "INSERT INTO ptk(a) VALUES ('a'\n'b');\n",
        "INSERT INTO ptk(a) VALUES (1) ON CONFLICT DO NOTHING;\n",
        "INSERT INTO ptk(a) VALUES (1) RETURNING *;\n",
        "INSERT INTO ptk(a) SELECT 1;\n",
        "INSERT INTO ptk DEFAULT VALUES;\n",
        "INSERT INTO ptk VALUES (1);\n",
        "INSERT INTO ptk(a, a) VALUES (1, 2);\n",
        "INSERT INTO ptk(a, b) VALUES (1);\n",
        "INSERT INTO public.ptk(a) VALUES (1);\n",
        "INSERT INTO pg_authid(rolname) VALUES ('x');\n",
        "INSERT INTO \"ptk\"(a) VALUES (1);\n",
        " INSERT INTO ptk(a) VALUES (1);\n",
        "INSERT INTO ptk(a) VALUES (1); INSERT INTO ptk(a) VALUES (2);\n",
        "INSERT INTO ptk(a) VALUES ('x;'); DROP TABLE sekolah;\n",
        "INSERT INTO ptk(a) VALUES (1); -- note\n",
        "/* x */ DROP TABLE sekolah;\n",
        "/* x */ INSERT INTO ptk(a) VALUES (1);\n",
        "/* /* */ DROP TABLE sekolah; */\n",
        "INSERT INTO ptk(a) /* x */ VALUES (1);\n",
        "INSERT INTO ptk(a) VALUES ('a\0b');\n"s,
        "-- a\0b\n"s,
        "-- catatan\rDROP TABLE sekolah;\n",
        "-- catatan\r\\! touch x\n",
        "/* x\r */\n",
        "INSERT INTO ptk(a)\fVALUES (1);\n",
        "INSERT INTO ptk(a) VALUES (1);\rDROP TABLE sekolah;\n",
        "INSERT INTO ptk(\"a\x01\") VALUES (1);\n",
        "INSERT INTO ptk(a,b) VALUES ('a\\', ',NULL);DROP TABLE sekolah;--');\n",
        "INSERT INTO ptk(a) VALUES ('a\\''');\n",
        "INSERT INTO ptk(a) VALUES (E'\\n');\n",
        "INSERT INTO ptk(a) VALUES (e'x');\n",
        "DROP TABLE sekolah",
        "INSERT INTO ptk(a) VALUES (1) x",
    };
    for (const std::string& bad : refused) {
        SCOPED_TRACE(bad);
        const Read read = ReadDump(head + kRow + bad + kRow, 5);
        ASSERT_FALSE(read.status.ok());
        EXPECT_EQ(read.status.failure().reason, kForbidden);
        EXPECT_EQ(read.status.failure().detail.rfind("baris 9: ", 0), 0u) << read.status.failure().detail;
    }

    // The detail shows at most the statement's first 200 bytes, and no control byte.
    const Read long_ = ReadDump("SELECT '\x1b[2J" + std::string(300, 'x') + "';\n");
    ASSERT_FALSE(long_.status.ok());
    const std::string shown = long_.status.failure().detail.substr(0, long_.status.failure().detail.find('\n'));
    EXPECT_EQ(shown, "baris 1: SELECT '?[2J" + std::string(200 - 12, 'x'));
}

TEST(ArchiveGrammar, DumpThatBreaksOffIsCutNotForbidden)
{
    EXPECT_EQ(ReadDump(kRow + "INSERT INTO ptk(a) VALUES ('ab").status.failure().reason,
              "Isi arsip terpotong di tengah nilai atau komentar");
    EXPECT_EQ(ReadDump(kRow + "INSERT INTO ptk(a) VALUES (1").status.failure().reason,
              "Isi arsip terpotong di tengah perintah");
    EXPECT_EQ(ReadDump(kRow + "/* settings").status.failure().reason,
              "Isi arsip terpotong di tengah nilai atau komentar");
    EXPECT_TRUE(ReadDump(kRow + "-- no line break at the end").status.ok());
}

TEST(ArchiveGrammar, RowSinkFailureEndsTheReading)
{
    int taken = 0;
    ArchiveGrammar grammar([&taken](const ArchiveRow&) {
        return ++taken == 2 ? Status(Failure{"stop", "second row"}) : Status();
    });
    const Status status = grammar.Feed(kRow + kRow + kRow);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.failure().reason, "stop");
    EXPECT_EQ(taken, 2);
}

} // namespace
} // namespace pelantra
