#pragma once

#include <string>
#include <string_view>

#include "core/platform.h"
#include "core/result.h"

namespace pelantra {

// The dump tool and the archiver inside the installation root `basedir`.
std::string PgDumpProgram(const std::string& basedir, Platform platform);
std::string ArchiverProgram(const std::string& basedir, Platform platform);

// Why the tool `role` ("export", "pengarsip") could not be started from
// `program`: the text names the folder whose setting.ini sets basedir.
std::string ToolCannotStart(std::string_view role, const std::string& program);

// The installation root that setting.ini in the current folder names now,
// as Qt's file and process functions take paths (NativePath), with the two
// tools under it. Valid while the object lives.
class ConfiguredTools {
public:
    ConfiguredTools();

    // Fails when setting.ini names no installation root: the tools would
    // then be looked for at the top of the file system.
    const Status& Named() const { return named_; }

    std::string PgDump() const { return PgDumpProgram(root_.Utf8(), kHostPlatform); }
    std::string Archiver() const { return ArchiverProgram(root_.Utf8(), kHostPlatform); }

private:
    explicit ConfiguredTools(const std::string& basedir);

    NativePath root_;
    Status named_;
};

// The standard output of a started program as the program wrote it, taken
// piece by piece from the pipe. On Windows the C runtime of a program that
// writes text mode, as pg_dump writes a plain dump, makes each LF a CRLF,
// line breaks inside the data included. Where the first line arrives so
// ended, each CRLF is made the LF it was; otherwise, and on the other
// systems, the bytes pass as they are.
class ProgramOutput {
public:
    // The bytes of `piece` that are settled; a CR at its end waits for the next.
    std::string Take(std::string_view piece);
    // What is left once the output has ended.
    std::string Finish();

private:
    enum class Mode { Unknown, Translated, AsIs };
    Mode mode_ = Mode::Unknown;
    std::string firstLine_;
    bool heldReturn_ = false;
};

} // namespace pelantra
