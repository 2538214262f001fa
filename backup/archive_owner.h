#pragma once

#include <string>

#include "archive/archive_name.h"
#include "core/result.h"
#include "tools/tool_run.h"

namespace pelantra {

// Whether a backup of school `schoolId` (of record `school`) may replace
// what stands at `target`: nothing, or an archive whose first sekolah row
// is that school's, or one that names no school (damaged, not an archive of
// ours), whose copy Riwayat keeps. An archive of another school fails with
// kOtherSchoolsArchive, a link or anything else than a regular file with
// kTargetNotArchive. The archive is read only as far as its sekolah row.
Status MayReplace(const std::string& archiver, const std::string& target, const std::string& schoolId,
                  const SchoolRecord& school, const ToolWatch& watch);

} // namespace pelantra
