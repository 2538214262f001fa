#pragma once

#include <QLockFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "core/platform.h"
#include "core/result.h"
#include "tools/tool_run.h"

namespace pelantra {

inline constexpr std::chrono::seconds kHeldTargetWait{10};

// What a replace did besides: a note for the user (AddNote's form; empty
// when all went well), and the earlier archive's copy in Riwayat, if kept.
struct ReplacedArchive {
    std::string note;
    std::string kept;
};

// An archive in the making: written under a temporary name in a private
// folder beside its target, so that an earlier archive stays as it is until
// the new one has been verified and replaces it. The folder goes, with
// everything in it, when the object goes. Private folders of runs that are
// no longer alive are removed first.
class ArchiveDraft {
public:
    explicit ArchiveDraft(const std::string& archivePath);
    ArchiveDraft(const ArchiveDraft&) = delete;
    ArchiveDraft& operator=(const ArchiveDraft&) = delete;

    // Whether the private folder could be made.
    const Status& Ready() const { return ready_; }
    // The temporary archive.
    const std::string& Path() const { return path_; }
    // The archiver writing the temporary archive from its standard input, a
    // dump of tables that take `tableBytes` on the server.
    ToolCommand PackCommand(const std::string& archiver, std::uint64_t tableBytes) const;
    // The archive must open with the password and hold exactly the one
    // member kartesa2014.sql, encrypted, of `memberSize` bytes.
    Status Verify(const std::string& archiver, std::uint64_t memberSize, const ToolWatch& watch) const;
    // Puts the archive in the place of the target, flushed to disk first,
    // trying again for up to kHeldTargetWait while another program holds the
    // target open. An earlier archive there (a regular file, not a link) is
    // first kept in Riwayat (see archive_history.h) and of its kept copies
    // the newest `keepCopies` stay. Once the archive has taken the target's
    // name the replace has succeeded: a history that cannot be kept, a
    // folder flush that failed and links left alone beside it are told in
    // the note. `sync` is for a test.
    Result<ReplacedArchive> Replace(int keepCopies, FolderSync sync = FolderSync::Real);

private:
    std::string target_;
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<QLockFile> owner_;
    std::string path_;
    Status ready_;
    std::vector<std::string> linksLeftAlone_;
};

} // namespace pelantra
