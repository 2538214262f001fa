#include <gtest/gtest.h>

#include "archive/archive_name.h"

namespace pelantra {
namespace {

SchoolRecord Record(std::string name, std::string parent)
{
    return SchoolRecord{"010101", "12345678", std::move(name), std::move(parent)};
}

TEST(ArchiveName, BlanksAndDotsBecomeUnderscoresOneForOne)
{
    EXPECT_EQ(ArchivePath("E:\\out", SchoolRecord{"01", "123", "SD N.1 Hulu", "Kab. Hulu"}, Platform::Windows),
              "E:\\out\\01_Kab__Hulu_123_SD_N_1_Hulu.std");
    EXPECT_EQ(ArchiveFileName(Record("SD  N..1", "Kab.. Hulu  Atas")), "010101_Kab___Hulu__Atas_12345678_SD__N__1.std");
}

TEST(ArchiveName, CharactersWindowsForbidsBecomeUnderscores)
{
    EXPECT_EQ(ArchiveFileName(Record("SD \"Bintang\" 1/2: A<B>C|D?E*F\\G", "Kota\tX")),
              "010101_Kota_X_12345678_SD__Bintang__1_2__A_B_C_D_E_F_G.std");
    // Non-ASCII letters are kept.
    EXPECT_EQ(ArchiveFileName(Record("SD Śarīfah", "Kab. Müller")), "010101_Kab__Müller_12345678_SD_Śarīfah.std");
}

TEST(ArchiveName, RegionCodeAndNpsnKeepTheirBlanksButNameNoFolder)
{
    EXPECT_EQ(ArchiveFileName(SchoolRecord{"0101  ", "1234 567", "A", "B"}), "0101  _B_1234 567_A.std");
    EXPECT_EQ(ArchivePath("/srv/out", SchoolRecord{"../../..", "/../../x", "A", "B"}, Platform::Posix),
              "/srv/out/.._.._.._B__.._.._x_A.std");
    EXPECT_EQ(ArchivePath("E:\\out", SchoolRecord{"01/0101", "..\\x", "A", "B"}, Platform::Windows),
              "E:\\out\\01_0101_B_.._x_A.std");
}

TEST(ArchiveName, MissingRegionRowsLeaveEmptyParts)
{
    EXPECT_EQ(ArchivePath("/srv/out", SchoolRecord{"019901", "20100004", "SD 4", ""}, Platform::Posix),
              "/srv/out/019901__20100004_SD_4.std");
}

TEST(ArchiveName, FolderGetsExactlyOneSeparator)
{
    const SchoolRecord school{"01", "2", "S", "K"};
    EXPECT_EQ(ArchivePath("E:\\out\\", school, Platform::Windows), "E:\\out\\01_K_2_S.std");
    EXPECT_EQ(ArchivePath("E:/out/", school, Platform::Windows), "E:/out/01_K_2_S.std");
    EXPECT_EQ(ArchivePath("/srv/out/", school, Platform::Posix), "/srv/out/01_K_2_S.std");
    EXPECT_EQ(ArchivePath("/srv/out", school, Platform::Posix), "/srv/out/01_K_2_S.std");
}

} // namespace
} // namespace pelantra
