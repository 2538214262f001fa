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
//  - a '...' value that holds a backslash becomes E'...' with each
//    backslash doubled, so that it means the same whatever the restoring
//    server's standard_conforming_strings.
// Every other byte, row values above all, passes unchanged.
//
// The rewrite streams: it takes the dump in pieces and keeps only a short
// look-ahead at the start of a statement line and the '...' value under way,
// so its memory does not depend on the dump's size.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "archive/dump_title.h"
#include "core/result.h"

namespace pelantra {

// What follows the table name in a replayed INSERT, per staged table: its
// column list, "(" + names joined by "," + ")" with each name quoted where
// the server's quote_ident() quotes it, and " OVERRIDING SYSTEM VALUE" for a
// table whose identity column is GENERATED ALWAYS.
using ColumnLists = std::map<std::string, std::string, std::less<>>;

// Takes the rewritten dump piece by piece; false when it cannot.
using DumpSink = std::function<bool(std::string_view)>;

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

private:
    class Rules;
    std::unique_ptr<Rules> rules_;
};

// Stream form of DumpRewriter: reads the raw dump from `in` and writes the
// rewritten dump to `out`.
Status RewriteDump(std::istream& in, std::ostream& out, const ColumnLists& columns);

} // namespace pelantra
