// Where the tools are and how their output is taken, on Windows itself
// (scripts/test-windows runs it under Wine).
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/windows_folder.h"

namespace pelantra {
namespace {

namespace fs = std::filesystem;

using ToolsWindows = WindowsFolderTest;

TEST_F(ToolsWindows, FoundUnderBackslashAndDriveLetterRoots)
{
    EXPECT_EQ(kHostPlatform, Platform::Windows);
    // An installation root with a blank and a non-ASCII letter.
    const std::string basedir = rootBytes + "\\Data Sekolah \xC3\xA9";
    fs::create_directories(FileSystemPath(basedir + "\\pgsql\\bin"));
    fs::create_directories(FileSystemPath(basedir + "\\php"));
    WriteFile(root / L"Data Sekolah \u00e9" / L"pgsql" / L"bin" / L"pg_dump.exe", "x");
    WriteFile(root / L"Data Sekolah \u00e9" / L"php" / L"7za.exe", "x");

    EXPECT_TRUE(fs::is_regular_file(FileSystemPath(PgDumpProgram(basedir, kHostPlatform))));
    EXPECT_TRUE(fs::is_regular_file(FileSystemPath(ArchiverProgram(basedir, kHostPlatform))));
    // The same root written with forward slashes, as Qt gives folders.
    std::string forward = basedir;
    std::replace(forward.begin(), forward.end(), '\\', '/');
    EXPECT_TRUE(fs::is_regular_file(FileSystemPath(PgDumpProgram(forward, kHostPlatform))));
    // Tools are started through NativePath, as UTF-8 text.
    EXPECT_EQ(NativePath(basedir).Utf8(), basedir);
}

// Every way of cutting `output` into two pieces gives `expected`.
void ExpectProgramOutput(const std::string& output, const std::string& expected)
{
    for (std::size_t cut = 0; cut <= output.size(); ++cut) {
        SCOPED_TRACE(cut);
        ProgramOutput taken;
        std::string text = taken.Take(std::string_view(output).substr(0, cut));
        text += taken.Take(std::string_view(output).substr(cut));
        text += taken.Finish();
        EXPECT_EQ(text, expected);
    }
}

TEST(ToolsWindowsOutput, TextModeLineBreaksOfAProgramAreUndone)
{
    // pg_dump's plain dump through a text-mode standard output: every LF,
    // those inside values too, came as CRLF; a CR of the data before one
    // came as CR CRLF.
    ExpectProgramOutput("--\r\n-- dump\r\nINSERT INTO ptk VALUES ('a\r\nb', 'c\r\r\n', 'd\re');\r\n",
                        "--\n-- dump\nINSERT INTO ptk VALUES ('a\nb', 'c\r\n', 'd\re');\n");
    ExpectProgramOutput("--\r\nend\r", "--\nend\r");
    // Output written untranslated keeps each CR, before a LF too.
    ExpectProgramOutput("--\nINSERT INTO ptk VALUES ('a\r\nb');\n", "--\nINSERT INTO ptk VALUES ('a\r\nb');\n");
    ExpectProgramOutput("no line break\r", "no line break\r");
}

} // namespace
} // namespace pelantra
