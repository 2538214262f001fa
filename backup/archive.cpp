#include "backup/archive.h"

#include <QUuid>

#include <charconv>
#include <filesystem>
#include <sstream>
#include <string_view>
#include <system_error>

#include "app/platform.h"
#include "backup/export.h"
#include "backup/tool_run.h"

namespace {

const std::string kPasswordSwitch = std::string("-p") + kArchivePassword;

// Beside the target, so the final rename stays on one file system; it keeps
// the ".std" ending so the archiver treats it exactly as the target.
std::string TemporaryArchivePath(const std::string& archivePath)
{
    const std::string_view extension = ".std";
    const std::string stem =
        archivePath.ends_with(extension) ? archivePath.substr(0, archivePath.size() - extension.size()) : archivePath;
    const std::string tag = QUuid::createUuid().toString(QUuid::Id128).left(12).toStdString();
    return stem + ".tmp-" + tag + ".std";
}

void RemoveFile(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove(FileSystemPath(path), ignored);
}

ArchiveResult Failure(std::string reason, std::string detail, std::string output)
{
    return ArchiveResult{false, std::move(reason), std::move(detail), std::move(output)};
}

std::string ToolDetail(const ToolResult& run)
{
    return run.output.empty() ? run.Describe() : run.Describe() + "\n" + run.output;
}

} // namespace

std::vector<ArchiveMember> ParseTechnicalListing(const std::string& listing)
{
    std::vector<ArchiveMember> members;
    std::istringstream lines(listing);
    std::string line;
    bool inMembers = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("----------", 0) == 0) {
            inMembers = true;
            continue;
        }
        if (!inMembers)
            continue;
        if (line.rfind("Path = ", 0) == 0)
            members.push_back({line.substr(7), 0});
        else if (line.rfind("Size = ", 0) == 0 && !members.empty())
            std::from_chars(line.data() + 7, line.data() + line.size(), members.back().size);
    }
    return members;
}

ArchiveResult PackArchive(const std::string& archiver, const std::string& archivePath,
                          const std::string& workingDirectory, std::uint64_t memberSize)
{
    const std::string temporary = TemporaryArchivePath(archivePath);

    // "si" names nothing; the archiver only warns about it (exit code 1).
    const ToolResult pack =
        RunTool({archiver, {"a", temporary, kWorkingDumpName, kPasswordSwitch, "si"}, workingDirectory, {}});
    if (pack.status == ToolResult::Status::FailedToStart) {
        RemoveFile(temporary);
        return Failure("Program pengarsip tidak dapat dijalankan", archiver + ": " + pack.Describe(), pack.output);
    }
    if (!pack.ExitedWith(0) && !pack.ExitedWith(1)) {
        RemoveFile(temporary);
        return Failure("Arsip tidak dapat dibuat", ToolDetail(pack), pack.output);
    }

    const ToolResult test = RunTool({archiver, {"t", kPasswordSwitch, temporary}, workingDirectory, {}});
    if (!test.ExitedWith(0)) {
        RemoveFile(temporary);
        return Failure("Arsip gagal diuji", ToolDetail(test), pack.output);
    }

    const ToolResult list = RunTool({archiver, {"l", "-slt", kPasswordSwitch, temporary}, workingDirectory, {}});
    const std::vector<ArchiveMember> members =
        list.ExitedWith(0) ? ParseTechnicalListing(list.output) : std::vector<ArchiveMember>{};
    if (members.size() != 1 || members.front().path != kWorkingDumpName || members.front().size != memberSize) {
        RemoveFile(temporary);
        return Failure("Isi arsip tidak sesuai", ToolDetail(list), pack.output);
    }

    std::error_code renameError;
    std::filesystem::rename(FileSystemPath(temporary), FileSystemPath(archivePath), renameError);
    if (renameError) {
        RemoveFile(temporary);
        return Failure("Arsip tidak dapat disimpan", archivePath + ": " + renameError.message(), pack.output);
    }
    return ArchiveResult{true, {}, {}, pack.output};
}
