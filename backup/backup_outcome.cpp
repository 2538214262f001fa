#include "backup/backup_outcome.h"

namespace pelantra {

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
