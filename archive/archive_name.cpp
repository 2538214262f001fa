#include "archive/archive_name.h"

#include <algorithm>
#include <string_view>

namespace pelantra {
namespace {

void ReplaceAll(std::string& text, char from, char to)
{
    std::replace(text.begin(), text.end(), from, to);
}

void ReplaceForbidden(std::string& text)
{
    constexpr std::string_view forbidden = "<>:\"/\\|?*";
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 32 || forbidden.find(c) != std::string_view::npos)
            c = '_';
    }
}

} // namespace

std::string ArchiveFileName(const SchoolRecord& school)
{
    std::string name = school.name;
    ReplaceAll(name, ' ', '_');
    ReplaceAll(name, '.', '_');
    ReplaceForbidden(name);

    std::string parent = school.parentRegionName;
    ReplaceAll(parent, '.', '_');
    ReplaceAll(parent, ' ', '_');
    ReplaceForbidden(parent);

    // The region code and npsn keep their blanks and dots, but no part may
    // name a folder: the archive stays directly inside the chosen one.
    std::string regionCode = school.regionCode;
    ReplaceForbidden(regionCode);
    std::string npsn = school.npsn;
    ReplaceForbidden(npsn);

    return regionCode + "_" + parent + "_" + npsn + "_" + name + kArchiveSuffix;
}

std::string ArchivePath(const std::string& folder, const SchoolRecord& school, Platform platform)
{
    return JoinPath(folder, ArchiveFileName(school), platform);
}

} // namespace pelantra
