#pragma once

// What an archive's dump may hold, and nothing else: comments, and one
// INSERT of literal values per line into one of the staged tables,
//
//   INSERT INTO <table>(<column>,...) [OVERRIDING SYSTEM VALUE] VALUES (<value>, ...);
//
// where a value is a '...' string (quotes doubled), an E'...' string with
// no escape but \\ and '', a number, NULL, true, false or DEFAULT (what
// pg_dump writes for a generated column). Everything else is refused: other
// statements, a second statement on a line or after a comment, expressions,
// casts, dollar quotes, schema names, nested comments, NUL bytes and other
// control bytes outside values (a CR ends a -- comment for PostgreSQL and
// psql), psql meta-commands, a '...' value that a server with
// standard_conforming_strings off would end elsewhere, a row chosen by the
// school's key that names another school than the rows before it. The check reads the dump as a stream and hands each
// row, parsed, to its caller; nothing of the text itself needs to go anywhere.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace pelantra {

// One row of an INSERT. The views are valid during the call that hands it over.
struct ArchiveRow {
    struct Value {
        // What SQL makes of it: a quoted string is of no type until its
        // column gives it one, a number is an integer or numeric constant.
        enum class Kind { Null, Default, String, Integer, BigInteger, Numeric, Boolean };
        Kind kind = Kind::String;
        std::string_view text; // a string's content with its quotes undone, or a number, true, false
    };
    std::string_view table;
    std::vector<std::string> columns; // as the server names them: bare names folded to lower case
    std::vector<Value> values;
    bool overridingSystemValue = false;
    std::uint64_t line = 0; // where the statement begins, from 1
    std::string_view statement; // its text, from INSERT to the ';
};

// The school a dump belongs to, from its sekolah row.
struct ArchivedSchool {
    std::string id;
    std::string name;
    std::string npsn;
};

// What a dump held.
struct DumpFacts {
    // Rows of each staged table that had any.
    std::map<std::string, std::uint64_t, std::less<>> rows;
    // The sekolah_id of each sekolah row, in dump order (of the first few).
    std::vector<std::string> schoolIds;
    // Its first sekolah row.
    std::optional<ArchivedSchool> school;
    // '...' values holding a backslash, which a server with
    // standard_conforming_strings off reads otherwise.
    std::uint64_t backslashValues = 0;
    // The dump's closing title line came.
    bool complete = false;
    // When the archive holding it was packed, as 7za lists it ("2026-12-10 04:00:02").
    std::string packedAt;

    // The rows of `table`, 0 for a table without any.
    std::uint64_t RowsOf(std::string_view table) const
    {
        const auto found = rows.find(table);
        return found == rows.end() ? 0 : found->second;
    }
};

// Takes each row; a failure ends the reading.
using RowSink = std::function<Status(const ArchiveRow& row)>;

class ArchiveGrammar {
public:
    // `rows`, if given, takes every row as soon as its statement is whole.
    explicit ArchiveGrammar(RowSink rows = {});
    ~ArchiveGrammar();
    ArchiveGrammar(const ArchiveGrammar&) = delete;
    ArchiveGrammar& operator=(const ArchiveGrammar&) = delete;

    // A refusal (kForbiddenStatement, with the line and the statement's
    // start in the detail) or the sink's failure ends the reading.
    Status Feed(std::string_view piece);
    // The dump has ended: fails when it ends inside a value, a comment or a statement.
    Status Finish();
    const DumpFacts& Facts() const;

private:
    class Reader;
    std::unique_ptr<Reader> reader_;
};

} // namespace pelantra
