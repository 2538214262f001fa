#include "tools/tools.h"

#include <gtest/gtest.h>

namespace pelantra {

TEST(Tools, PathsUnderTheInstallationRoot)
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

} // namespace pelantra
