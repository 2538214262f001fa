#include "core/platform.h"

#include <gtest/gtest.h>

namespace pelantra {

TEST(Platform, ToolPaths)
{
    EXPECT_EQ(PgDumpProgram("C:\\Program Files\\DataSekolah", Platform::Windows),
              "C:\\Program Files\\DataSekolah\\pgsql\\bin\\pg_dump.exe");
    EXPECT_EQ(ArchiverProgram("C:\\Program Files\\DataSekolah", Platform::Windows),
              "C:\\Program Files\\DataSekolah\\php\\7za.exe");
    // The installation root is taken as it stands: no separator is dropped
    // or added, and an empty root leaves the path starting with "\".
    EXPECT_EQ(PgDumpProgram("D:\\DataSekolah\\", Platform::Windows), "D:\\DataSekolah\\\\pgsql\\bin\\pg_dump.exe");
    EXPECT_EQ(PgDumpProgram("", Platform::Windows), "\\pgsql\\bin\\pg_dump.exe");
    EXPECT_EQ(ArchiverProgram("", Platform::Windows), "\\php\\7za.exe");

    EXPECT_EQ(PgDumpProgram("/opt/data sekolah", Platform::Posix), "/opt/data sekolah/pgsql/bin/pg_dump");
    EXPECT_EQ(ArchiverProgram("/opt/data sekolah", Platform::Posix), "/opt/data sekolah/php/7za");
    EXPECT_EQ(PgDumpProgram("", Platform::Posix), "/pgsql/bin/pg_dump");
}

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

} // namespace pelantra
