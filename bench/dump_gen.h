#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

#include "backup/dump_rewriter.h"
#include "support/literal_replacements.h"

namespace pelantra {

// Writes a data-only --inserts dump of the thirteen staged tables of about
// `targetBytes`, in the old (search_path) or modern (tmpx.<table>, \restrict)
// shape. Rows look like school data: uuids, names, codes, dates, NULLs, and
// now and then a quote or a value spanning lines.
void GenerateDump(std::ostream& out, std::size_t targetBytes, bool modern);

// Column lists for the generated tables.
ColumnLists GeneratedColumnLists();

} // namespace pelantra
