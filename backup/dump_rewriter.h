#pragma once

// Rewrites a plain, data-only, --inserts dump of the staging schema so that it
// replays into another database of the same layout:
//  - the session settings at its head (from "SET statement_timeout = 0"
//    through the last setting of that block) become one block comment;
//  - the title comment lines carry "Kartesa Ombralu" instead of
//    "PostgreSQL database dump";
//  - psql meta-command lines (\restrict, \unrestrict) become SQL comments;
//  - every INSERT into one of the staged tables, named bare or in the
//    staging schema, names the bare table followed by its column list.
// Every other byte, row values above all, passes unchanged.
//
// The rewrite streams: it takes the dump in pieces and keeps only a short
// look-ahead at the start of a statement line, so its memory does not depend
// on the dump's size or on the size of any single value.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace pelantra {

// The title line the rewrite gives a dump; the dump's first line is "--" and
// this its second.
inline constexpr std::string_view kDumpTitle = "-- Kartesa Ombralu";

// What follows the table name in a replayed INSERT, per staged table: its
// column list, "(" + names joined by "," + ")" with each name quoted where
// the server's quote_ident() quotes it, and " OVERRIDING SYSTEM VALUE" for a
// table whose identity column is GENERATED ALWAYS.
using ColumnLists = std::map<std::string, std::string, std::less<>>;

// Takes the rewritten dump piece by piece; false when it cannot.
using DumpSink = std::function<bool(std::string_view)>;

// What a dump held, as the rewrite saw it go by.
struct DumpFacts {
    // INSERT statements (one per row) of each staged table that had any.
    std::map<std::string, std::uint64_t, std::less<>> rows;
    // The sekolah_id of each sekolah row, as written (of the first few);
    // empty where it could not be read.
    std::vector<std::string> schoolIds;
    // pg_dump's closing line came.
    bool complete = false;

    // The rows of `table`, 0 for a table without any.
    std::uint64_t RowsOf(std::string_view table) const
    {
        const auto found = rows.find(table);
        return found == rows.end() ? 0 : found->second;
    }
};

class DumpRewriter {
public:
    DumpRewriter(const ColumnLists& columns, DumpSink sink);
    ~DumpRewriter();
    DumpRewriter(const DumpRewriter&) = delete;
    DumpRewriter& operator=(const DumpRewriter&) = delete;

    // A failure ends the rewrite; what went to the sink must be discarded.
    Status Feed(std::string_view piece);
    // The dump has ended. Fails when it ends inside a quoted value, a quoted
    // name, a block comment, a statement or the settings block.
    Status Finish();
    // Bytes handed to the sink so far.
    std::uint64_t BytesWritten() const;
    const DumpFacts& Facts() const;

private:
    friend class DumpCheck;
    class Rules;
    std::unique_ptr<Rules> rules_;
};

// Takes each whole statement of a dump; a failure ends the reading.
using StatementSink = std::function<Status(std::string_view statement)>;

// Reads a dump that was rewritten already, as the restoring program will,
// with the rewrite's own scanner: counts the rows of each table (in the
// facts) and fails with an Indonesian reason when the dump ends inside a
// value, a comment or a statement, when an INSERT names a schema or has no
// column list, or when a psql meta-command stands outside a comment.
class DumpCheck {
public:
    // `statements`, if given, takes every whole statement as it is read.
    explicit DumpCheck(StatementSink statements = {});
    ~DumpCheck();
    DumpCheck(const DumpCheck&) = delete;
    DumpCheck& operator=(const DumpCheck&) = delete;

    Status Feed(std::string_view piece);
    Status Finish();
    const DumpFacts& Facts() const;

private:
    std::unique_ptr<DumpRewriter::Rules> rules_;
};

// Stream form of DumpRewriter: reads the raw dump from `in` and writes the
// rewritten dump to `out`.
Status RewriteDump(std::istream& in, std::ostream& out, const ColumnLists& columns);

} // namespace pelantra
