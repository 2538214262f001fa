// The Windows side of the platform file, on Windows itself (scripts/test-windows
// runs it under Wine): paths as a user or setting.ini gives them, in UTF-8 or
// the ANSI code page, reaching the file system.
#include "core/platform.h"

#include <gtest/gtest.h>

#include <windows.h>
#undef ReplaceFile // the platform file's, not the macro for ReplaceFileA/W

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/settings.h"
#include "support/files.h"
#include "support/windows_folder.h"

namespace pelantra {
namespace {

namespace fs = std::filesystem;

using PlatformWindows = WindowsFolderTest;

TEST_F(PlatformWindows, FolderEndingInEitherSeparatorNamesTheSameFile)
{
    const fs::path expected = root / L"a.std";
    WriteFile(expected, "archive");
    std::string forward = rootBytes;
    std::replace(forward.begin(), forward.end(), '\\', '/');
    for (const std::string& folder : {rootBytes, rootBytes + "\\", forward, forward + "/"}) {
        SCOPED_TRACE(folder);
        const fs::path joined = FileSystemPath(JoinPath(folder, "a.std", kHostPlatform));
        ASSERT_TRUE(fs::exists(joined));
        EXPECT_TRUE(fs::equivalent(joined, expected));
    }
}

TEST_F(PlatformWindows, NonAsciiFolderInUtf8AndInTheAnsiCodePage)
{
    // UTF-8 bytes, as Qt and setting.ini written in UTF-8 give them.
    const std::string utf8 = rootBytes + "\\Sekolah \xC5\x9A"
                                         "ar\xC4\xAB"
                                         "fah \xE2\x80\x93 Caf\xC3\xA9";
    ASSERT_TRUE(fs::create_directory(FileSystemPath(utf8)));
    ASSERT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 1);
    EXPECT_EQ(fs::directory_iterator(root)->path().filename().wstring(), L"Sekolah \u015aar\u012bfah \u2013 Caf\u00e9");
    WriteFile(FileSystemPath(utf8 + "\\f.txt"), "isi");
    EXPECT_EQ(ReadFile(root / L"Sekolah \u015aar\u012bfah \u2013 Caf\u00e9" / L"f.txt"), "isi");
    EXPECT_EQ(NativePath(utf8).Utf8(), utf8);

    if (GetACP() != 1252)
        GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1252";
    // Bytes that are no UTF-8, as a command line gives them: cp1252, where
    // 0xE9 is "e" with an acute accent and 0x80 the euro sign.
    const std::string ansi = rootBytes + "\\Caf\xE9 \x80";
    ASSERT_TRUE(fs::create_directory(FileSystemPath(ansi)));
    EXPECT_TRUE(fs::is_directory(root / L"Caf\u00e9 \u20ac"));
    EXPECT_TRUE(fs::equivalent(FileSystemPath(ansi), FileSystemPath(rootBytes + "\\Caf\xC3\xA9 \xE2\x82\xAC")));
    // Qt and the started tools get it as UTF-8, and so does the person
    // reading where the archive went.
    EXPECT_EQ(NativePath(ansi).Utf8(), rootBytes + "\\Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(AbsolutePath(ansi), rootBytes + "\\Caf\xC3\xA9 \xE2\x82\xAC");
    fs::current_path(FileSystemPath(utf8));
    EXPECT_EQ(AbsolutePath("Caf\xE9"), utf8 + "\\Caf\xC3\xA9");
}

TEST_F(PlatformWindows, ReplaceFileTakesThePlaceOfAnExistingFile)
{
    const fs::path folder = root / L"Arsip \u00e9";
    fs::create_directories(folder / L".pelantra-x");
    WriteFile(folder / L".pelantra-x" / L"a.std", "new");
    WriteFile(folder / L"a.std", "old");
    // As the backup passes them: the draft in Qt's form, the target as built.
    std::string from = Utf8(folder / L".pelantra-x" / L"a.std");
    std::replace(from.begin(), from.end(), '\\', '/');
    const std::string to = JoinPath(Utf8(folder), "a.std", kHostPlatform);

    const FileMove moved = ReplaceFile(from, to);
    EXPECT_FALSE(moved.notMoved);
    EXPECT_FALSE(moved.folderNotSynced);
    EXPECT_EQ(ReadFile(folder / L"a.std"), "new");
    EXPECT_FALSE(fs::exists(folder / L".pelantra-x" / L"a.std"));

    // A draft that is gone leaves the old archive and says so.
    EXPECT_TRUE(ReplaceFile(from, to).notMoved);
    EXPECT_EQ(ReadFile(folder / L"a.std"), "new");

    // A flush that fails after the rename: the file has its new name.
    WriteFile(folder / L".pelantra-x" / L"a.std", "newer");
    const FileMove unsynced = ReplaceFile(from, to, FolderSync::Fails);
    EXPECT_FALSE(unsynced.notMoved);
    EXPECT_TRUE(unsynced.folderNotSynced);
    EXPECT_EQ(ReadFile(folder / L"a.std"), "newer");

    // Under a free name only.
    WriteFile(folder / L".pelantra-x" / L"b.std", "b");
    EXPECT_EQ(MoveToFreeName(Utf8(folder / L".pelantra-x" / L"b.std"), to).notMoved, std::errc::file_exists);
    EXPECT_EQ(ReadFile(folder / L"a.std"), "newer");
}

TEST_F(PlatformWindows, CrlfSettingsInTheCurrentNonAsciiFolder)
{
    const fs::path folder = root / L"Tata Usaha \u00e9";
    fs::create_directories(folder);
    // A Ctrl-Z ends a file read in text mode; the settings are read as bytes.
    WriteFile(folder / L"setting.ini", "DefDBPort=5432\r\n\x1A\r\nbasedir=C:\\Program Files\\DataSekolah\r\n");
    const std::string folderBytes = Utf8(folder);

    const Settings byPath = LoadIniFile(JoinPath(folderBytes, kSettingsFileName, kHostPlatform));
    EXPECT_EQ(byPath.Get(kPortKey), "5432");
    EXPECT_EQ(byPath.Get(kBaseDirKey), "C:\\Program Files\\DataSekolah");

    // The programs read setting.ini from the current folder.
    fs::current_path(folder);
    EXPECT_EQ(CurrentFolder(), folderBytes);
    EXPECT_EQ(LoadIniFile(kSettingsFileName).Get(kBaseDirKey), "C:\\Program Files\\DataSekolah");
    EXPECT_EQ(AbsolutePath("Backup"), folderBytes + "\\Backup");
    EXPECT_EQ(AbsolutePath("D:\\Backup"), "D:\\Backup");
    EXPECT_EQ(AbsolutePath("D:/Backup"), "D:/Backup");
}

TEST_F(PlatformWindows, PathsRelativeToTheDriveResolveOnIt)
{
    fs::current_path(root);
    const std::string drive = rootBytes.substr(0, 2);
    // From the root of the current drive, and from the current folder of a drive.
    EXPECT_EQ(AbsolutePath("\\Backup"), drive + "\\Backup");
    EXPECT_EQ(AbsolutePath(drive + "Backup"), rootBytes + "\\Backup");
}

TEST(PlatformWindowsMessages, ReadInTheCodePageTheProgramWritesLineByLine)
{
    if (GetOEMCP() != 437 || GetACP() != 1252)
        GTEST_SKIP() << "the code pages are " << GetOEMCP() << " and " << GetACP() << ", not 437 and 1252";
    // 7-Zip writes "é" as 0x82, the OEM code page's; pg_dump as 0xE9, the ANSI one's.
    EXPECT_EQ(Utf8FromProgramMessages("Scanning C:\\Caf\x82\r\nEverything is Ok\r\n", MessageCodePage::Oem),
              "Scanning C:\\Caf\xC3\xA9\r\nEverything is Ok\r\n");
    EXPECT_EQ(Utf8FromProgramMessages("could not open C:\\Caf\xE9", MessageCodePage::Ansi),
              "could not open C:\\Caf\xC3\xA9");
    // A server's words that pg_dump passes on are UTF-8 already, beside its own line in ANSI.
    EXPECT_EQ(
        Utf8FromProgramMessages("pg_dump: error: ERROR:  sekolah Caf\xC3\xA9\nC:\\Caf\xE9\n", MessageCodePage::Ansi),
        "pg_dump: error: ERROR:  sekolah Caf\xC3\xA9\nC:\\Caf\xC3\xA9\n");
}

} // namespace
} // namespace pelantra
