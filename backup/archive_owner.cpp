#include "backup/archive_owner.h"

#include <QFileInfo>

#include <optional>

#include "archive/archive_format.h"
#include "archive/archive_grammar.h"
#include "archive/staged_tables.h"
#include "backup/archive_history.h"
#include "backup/messages.h"
#include "tools/tools.h"

namespace pelantra {
namespace {

// The school of the archive's first sekolah row; nothing when it names none.
Result<std::optional<ArchivedSchool>> ArchiveSchool(const std::string& archiver, const std::string& path,
                                                    const ToolWatch& watch)
{
    ToolProcess extract({archiver, {"x", "-so", kPasswordSwitch, "--", path, kMemberName}, {}},
                        ToolProcess::Channels::Separate);
    if (!extract.Started())
        return Failure{ToolCannotStart("pengarsip", archiver),
                       extract.Stop(ToolResult::Ending::Stopped).Detail(archiver)};
    // The reading ends at the sekolah row: what comes after it tells nothing of the owner.
    ArchiveGrammar grammar([](const ArchiveRow& row) -> Status {
        if (row.table == kSchoolTable)
            return Failure{};
        return {};
    });
    const ToolProcess::Reading read =
        extract.ReadOutput(watch, [&grammar](std::string_view piece) { return grammar.Feed(piece).ok(); });
    if (read == ToolProcess::Reading::StopRequested)
        return Failure{kStoppedReason, {}, FailureKind::Stopped};
    extract.Stop(ToolResult::Ending::Stopped);
    return grammar.Facts().school;
}

} // namespace

Status MayReplace(const std::string& archiver, const std::string& target, const std::string& schoolId,
                  const SchoolRecord& school, const ToolWatch& watch)
{
    const QFileInfo standing(QString::fromStdString(target));
    if (!standing.exists() && !IsLink(standing))
        return {};
    if (IsLink(standing) || !standing.isFile())
        return Failure{FillIn(kTargetNotArchive, {standing.fileName().toStdString()}), target};
    const Result<std::optional<ArchivedSchool>> owner = ArchiveSchool(archiver, target, watch);
    if (!owner.ok())
        return owner.failure();
    const std::optional<ArchivedSchool>& archived = owner.value();
    if (!archived ||
        QString::fromStdString(archived->id).compare(QString::fromStdString(schoolId), Qt::CaseInsensitive) == 0)
        return {};
    return Failure{FillIn(kOtherSchoolsArchive, {archived->name, school.name}),
                   target + "\n" + FillIn(kOwnerDetail, {archived->name, archived->npsn, archived->id}) + "\n" +
                       FillIn(kOwnerDetail, {school.name, school.npsn, schoolId})};
}

} // namespace pelantra
