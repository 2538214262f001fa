#pragma once

// Rewrites a plain, data-only, --inserts dump of the staging schema so that it
// replays into another database of the same layout:
//  - the session settings at its head (from "SET statement_timeout = 0"
//    through the last setting of that block) become one block comment;
//  - the title comment lines carry "Kartesa Ombralu" instead of
//    "PostgreSQL database dump";
//  - psql meta-command lines (\restrict, \unrestrict) become SQL comments;
//  - every INSERT into one of the staged tables, named bare or as
//    tmpx.<table>, names the bare table followed by its column list.
// Every other byte, row values above all, passes unchanged.
//
// The rewrite streams: it reads the dump in chunks and keeps only a short
// look-ahead at the start of a statement line, so its memory does not depend
// on the dump's size or on the size of any single value. It follows the SQL
// lexical structure (quoted values and names spanning lines, doubled quotes,
// E'' values with backslash escapes, -- comments and nested /* */ comments)
// and acts only on lines where a statement starts.

#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

// Column list per staged table: "(" + names joined by "," + ")", each name
// quoted only when it needs quoting.
using ColumnLists = std::map<std::string, std::string, std::less<>>;

// Ordered column names -> "(a,b,\"Odd\")". A name is written bare when it is a
// lower-case identifier that is not a PostgreSQL keyword reserved in column
// position; otherwise it is double-quoted with inner quotes doubled.
std::string ColumnList(const std::vector<std::string>& names);

// True when `name` must be double-quoted to be used as a column name.
bool NeedsQuoting(const std::string& name);

struct RewriteResult {
    bool ok = false;
    std::string error; // short English technical text when !ok
};

// Reads the raw dump from `in` and writes the rewritten dump to `out`.
// Fails (and the output must then be discarded) when the dump ends inside a
// quoted value, a quoted name, a block comment or the settings block, when an
// INSERT of a staged table has no usable column list in `columns`, or on a
// read or write error.
RewriteResult RewriteDump(std::istream& in, std::ostream& out, const ColumnLists& columns);

// File form of RewriteDump. The two paths must name different files; on
// failure the target file is removed so no half-written dump is left behind.
RewriteResult RewriteDumpFile(const std::string& fromPath, const std::string& toPath, const ColumnLists& columns);
