#include "tools/tools.h"

#include "core/messages.h"
#include "core/settings.h"
#include "tools/messages.h"

namespace pelantra {

std::string PgDumpProgram(const std::string& basedir, Platform platform)
{
    return platform == Platform::Windows ? basedir + "\\pgsql\\bin\\pg_dump.exe" : basedir + "/pgsql/bin/pg_dump";
}

std::string ArchiverProgram(const std::string& basedir, Platform platform)
{
    return platform == Platform::Windows ? basedir + "\\php\\7za.exe" : basedir + "/php/7za";
}

ConfiguredTools::ConfiguredTools() : ConfiguredTools(LoadIniFile(kSettingsFileName).Get(kBaseDirKey)) { }

ConfiguredTools::ConfiguredTools(const std::string& basedir) : root_(basedir)
{
    if (!basedir.empty())
        return;
    const std::string unfit = UnfitSettingsFile(kSettingsFileName);
    named_ = Failure{kBaseDirMissing, unfit.empty() ? FillIn(kSettingsFolderDetail, {CurrentFolder()}) : unfit};
}

std::string ToolCannotStart(std::string_view role, const std::string& program)
{
    return FillIn(kToolCannotStart, {role, program, CurrentFolder()});
}

std::string ProgramOutput::Take(std::string_view piece)
{
    if (mode_ == Mode::Unknown) {
        firstLine_.append(piece);
        const std::size_t end = firstLine_.find('\n');
        if (end == std::string::npos)
            return {};
        const bool crlf = end > 0 && firstLine_[end - 1] == '\r';
        mode_ = kHostPlatform == Platform::Windows && crlf ? Mode::Translated : Mode::AsIs;
        std::string held;
        held.swap(firstLine_);
        return Take(held);
    }
    if (mode_ == Mode::AsIs)
        return std::string(piece);
    std::string text;
    text.reserve(piece.size() + 1);
    for (const char c : piece) {
        if (heldReturn_) {
            heldReturn_ = false;
            if (c != '\n')
                text += '\r';
        }
        if (c == '\r')
            heldReturn_ = true;
        else
            text += c;
    }
    return text;
}

std::string ProgramOutput::Finish()
{
    std::string rest;
    rest.swap(firstLine_); // output without a single line break passes as it is
    if (heldReturn_)
        rest += '\r';
    heldReturn_ = false;
    return rest;
}

} // namespace pelantra
