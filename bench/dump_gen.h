#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

#include "backup/dump_rewriter.h"

// Writes a data-only --inserts dump of the thirteen staged tables of about
// `targetBytes`, in the old (search_path) or modern (tmpx.<table>, \restrict)
// shape. Rows look like school data: uuids, names, codes, dates, NULLs, and
// now and then a quote or a value spanning lines.
void GenerateDump(std::ostream& out, std::size_t targetBytes, bool modern);

// Column lists for the generated tables.
ColumnLists GeneratedColumnLists();

// The rewrite as a chain of sixteen whole-text replacements (three header
// edits, then the thirteen tables), each building a new copy of the text.
std::string LiteralRewrite(std::string text, const ColumnLists& lists);
