#include "archive/archive_format.h"

#include <charconv>
#include <sstream>

namespace pelantra {

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
            members.push_back({line.substr(7), 0, false, {}});
        else if (members.empty())
            continue;
        else if (line.rfind("Size = ", 0) == 0)
            std::from_chars(line.data() + 7, line.data() + line.size(), members.back().size);
        else if (line == "Encrypted = +")
            members.back().encrypted = true;
        else if (line.rfind("Modified = ", 0) == 0)
            members.back().modified = line.substr(11, 19); // newer 7za add fractions of a second
    }
    return members;
}

std::string ListedArchiveType(const std::string& listing)
{
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("----------", 0) == 0)
            break;
        if (line.rfind("Type = ", 0) == 0)
            return line.substr(7);
    }
    return {};
}

ArchiveListing ListArchive(const std::string& archiver, const std::string& archivePath, const ToolWatch& watch)
{
    ArchiveListing listing{RunTool({archiver, {"l", "-slt", kPasswordSwitch, "--", archivePath}, {}}, watch), {}, {}};
    if (!listing.run.ExitedWith(0))
        return listing;
    listing.type = ListedArchiveType(listing.run.output);
    const std::vector<ArchiveMember> members = ParseTechnicalListing(listing.run.output);
    if (members.size() == 1 && members.front().path == kMemberName)
        listing.soleMember = members.front();
    return listing;
}

} // namespace pelantra
