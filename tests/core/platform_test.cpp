#include "core/platform.h"

#include <gtest/gtest.h>

namespace pelantra {

TEST(Platform, JoinPath)
{
    EXPECT_EQ(PathSeparator(Platform::Windows), '\\');
    EXPECT_EQ(PathSeparator(Platform::Posix), '/');

    EXPECT_EQ(JoinPath("D:\\Backup", "a.std", Platform::Windows), "D:\\Backup\\a.std");
    EXPECT_EQ(JoinPath("D:\\Backup\\", "a.std", Platform::Windows), "D:\\Backup\\a.std");
    EXPECT_EQ(JoinPath("D:/Backup/", "a.std", Platform::Windows), "D:/Backup/a.std");
    EXPECT_EQ(JoinPath("D:\\", "a.std", Platform::Windows), "D:\\a.std");

    EXPECT_EQ(JoinPath("/home/tu/backup", "a.std", Platform::Posix), "/home/tu/backup/a.std");
    EXPECT_EQ(JoinPath("/home/tu/backup/", "a.std", Platform::Posix), "/home/tu/backup/a.std");
    EXPECT_EQ(JoinPath("/", "a.std", Platform::Posix), "/a.std");
    // A backslash is an ordinary file-name byte outside Windows.
    EXPECT_EQ(JoinPath("/home/tu/back\\", "a.std", Platform::Posix), "/home/tu/back\\/a.std");
}

TEST(Platform, CompleteUtf8LengthHoldsBackACharacterCutAtTheEnd)
{
    // "é" is C3 A9, "–" E2 80 93, "😀" F0 9F 98 80.
    EXPECT_EQ(CompleteUtf8Length(""), 0u);
    EXPECT_EQ(CompleteUtf8Length("Caf\xC3\xA9"), 5u);
    EXPECT_EQ(CompleteUtf8Length("Caf\xC3"), 3u);
    EXPECT_EQ(CompleteUtf8Length("\xC3"), 0u);
    EXPECT_EQ(CompleteUtf8Length("a\xE2\x80"), 1u);
    EXPECT_EQ(CompleteUtf8Length("a\xE2\x80\x93"), 4u);
    EXPECT_EQ(CompleteUtf8Length("a\xF0\x9F\x98"), 1u);
    EXPECT_EQ(CompleteUtf8Length("a\xF0\x9F\x98\x80"), 5u);
    // Bytes that start no character are not held back for ever.
    EXPECT_EQ(CompleteUtf8Length("a\x80\x80\x80\x80"), 5u);
}

#ifndef _WIN32
TEST(Platform, ProgramMessagesKeepTheirBytesOutsideWindows)
{
    // Programs here write their locale's encoding, UTF-8 or not: no code page applies.
    EXPECT_EQ(Utf8FromProgramMessages("Caf\x82\nCaf\xC3\xA9\n", MessageCodePage::Oem), "Caf\x82\nCaf\xC3\xA9\n");
}
#endif

} // namespace pelantra
