#include "backup/backup_outcome.h"

namespace pelantra {

std::string WhyInIndonesian(const std::error_code& error)
{
    if (error == std::errc::no_space_on_device || error == std::errc::file_too_large)
        return kWhyDiskFull;
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted)
        return kWhyNoPermission;
    if (error == std::errc::read_only_file_system)
        return kWhyReadOnly;
    return kWhyFileSystem;
}

void AddNote(std::string& note, const std::string& line, const std::string& detail)
{
    note.append(note.empty() ? "" : "\n\n").append(line);
    if (!detail.empty())
        note.append("\n").append(detail);
}

std::string OutcomeMessage(const BackupOutcome& outcome)
{
    if (outcome.ok())
        return kSuccessMessage;
    const std::string& reason = outcome.failure().reason;
    return reason.empty() ? std::string(kFailureMessage) : std::string(kFailureMessage) + "\n" + reason;
}

std::string NoteLine(const BackupArchive& archive)
{
    if (archive.note.empty())
        return {};
    return std::string(1, '\n').append(archive.note, 0, archive.note.find('\n'));
}

std::string OutcomeDetail(const BackupOutcome& outcome)
{
    return outcome.ok() ? outcome.value().note : outcome.failure().detail;
}

} // namespace pelantra
