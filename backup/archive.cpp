#include "backup/archive.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <charconv>
#include <sstream>

#include "backup/export.h"
#include "backup/tool_run.h"
#include "core/platform.h"

namespace pelantra {
namespace {

const std::string kPasswordSwitch = std::string("-p") + kArchivePassword;

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

ArchiveRun PackArchive(const std::string& archiver, const std::string& archivePath, const std::string& workingDirectory,
                       std::uint64_t memberSize)
{
    const QFileInfo target(QString::fromStdString(archivePath));
    // Beside the target, so the final rename stays on one file system; the
    // archive inside keeps the target's name, so the archiver treats it alike.
    QTemporaryDir privateFolder(target.absolutePath() + "/.pelantra-XXXXXX");
    if (!privateFolder.isValid())
        return {Failure{"Arsip tidak dapat dibuat", archivePath + ": " + privateFolder.errorString().toStdString()},
                {}};
    const std::string temporary = privateFolder.filePath(target.fileName()).toStdString();

    // "si" names nothing; the archiver only warns about it (exit code 1).
    const ToolResult pack =
        RunTool({archiver, {"a", temporary, kWorkingDumpName, kPasswordSwitch, "si"}, workingDirectory, {}});
    if (pack.status == ToolResult::Status::FailedToStart)
        return {Failure{"Program pengarsip tidak dapat dijalankan", archiver + ": " + pack.Describe()}, pack.output};
    if (!pack.ExitedWith(0) && !pack.ExitedWith(1))
        return {Failure{"Arsip tidak dapat dibuat", ToolDetail(pack)}, pack.output};

    const ToolResult test = RunTool({archiver, {"t", kPasswordSwitch, temporary}, workingDirectory, {}});
    if (!test.ExitedWith(0))
        return {Failure{"Arsip gagal diuji", ToolDetail(test)}, pack.output};

    const ToolResult list = RunTool({archiver, {"l", "-slt", kPasswordSwitch, temporary}, workingDirectory, {}});
    const std::vector<ArchiveMember> members =
        list.ExitedWith(0) ? ParseTechnicalListing(list.output) : std::vector<ArchiveMember>{};
    if (members.size() != 1 || members.front().path != kWorkingDumpName || members.front().size != memberSize)
        return {Failure{"Isi arsip tidak sesuai", ToolDetail(list)}, pack.output};

    if (const std::error_code error = ReplaceFile(temporary, archivePath))
        return {Failure{"Arsip tidak dapat disimpan", archivePath + ": " + error.message()}, pack.output};
    return {{}, pack.output};
}

} // namespace pelantra
