#include "core/settings.h"

#include "core/messages.h"
#include "core/platform.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace pelantra {

namespace {

using Entries = std::vector<Settings::Entry>;

std::string Port(std::string_view bytes)
{
    return ParseIni(bytes).Get(kPortKey);
}

} // namespace

TEST(Settings, LineEndsAndSeparators)
{
    EXPECT_EQ(Port("DefDBPort=5432\r\n"), "5432");
    EXPECT_EQ(Port("DefDBPort=5432\n"), "5432");
    EXPECT_EQ(Port("DefDBPort = 5432\r\n"), "5432");
    EXPECT_EQ(Port("DefDBPort 5432\r\n"), "5432");
    EXPECT_EQ(Port("DefDBPort==5432\r\n"), "5432");
    // A blank or "=" at the start of a value belongs to the separator.
    EXPECT_EQ(Port("DefDBPort= = 5432\r\n"), "5432");
    // Later "=" are part of the value.
    EXPECT_EQ(ParseIni("basedir=a=b\n").Get(kBaseDirKey), "a=b");

    const Settings both = ParseIni("DefDBPort=5432\r\nbasedir=C:\\DataSekolah\r\n");
    EXPECT_EQ(both.Entries(), (Entries{{"DefDBPort", "5432"}, {"basedir", "C:\\DataSekolah"}}));
}

TEST(Settings, ValueEndsAtFirstControlByte)
{
    EXPECT_EQ(Port("DefDBPort=5432  \r\n"), "5432  ");
    EXPECT_EQ(Port("DefDBPort=5432  "), "5432  ");
    EXPECT_EQ(Port("DefDBPort=5432\tport\r\n"), "5432");
    EXPECT_EQ(Port("DefDBPort=54\x01"
                   "32\n"),
              "54");
    // After the tab the reader looks for the next key, so the rest of the
    // line turns into a key of its own.
    EXPECT_EQ(ParseIni("DefDBPort=5432\tport\r\n").Entries(), (Entries{{"DefDBPort", "5432"}, {"port", ""}}));
    // A colon is no separator.
    EXPECT_EQ(Port("DefDBPort: 5432\n"), ": 5432");
    // Blanks inside and bytes of 128 and above are kept.
    EXPECT_EQ(ParseIni("basedir=C:\\Program Files\\Aplikasi Sekolah\r\n").Get(kBaseDirKey),
              "C:\\Program Files\\Aplikasi Sekolah");
    EXPECT_EQ(ParseIni("basedir=D:\\Sekolah Caf\xC3\xA9 \xFF\n").Get(kBaseDirKey), "D:\\Sekolah Caf\xC3\xA9 \xFF");
}

TEST(Settings, KeysAndLookup)
{
    const Settings lower = ParseIni("defdbport=5432\n");
    EXPECT_EQ(lower.Get(kPortKey), "");
    EXPECT_EQ(lower.Get("defdbport"), "5432");

    const Settings twice = ParseIni("DefDBPort=5432\nDefDBPort=6543\n");
    EXPECT_EQ(twice.Get(kPortKey), "5432");
    EXPECT_EQ(twice.Entries().size(), 2u);

    EXPECT_EQ(ParseIni("").Get(kPortKey, "none"), "none");
    EXPECT_EQ(ParseIni("basedir=x\n").Get(kPortKey), "");
}

TEST(Settings, EndOfFile)
{
    // A line break after "=" defines the key with an empty value.
    EXPECT_EQ(ParseIni("DefDBPort=\nbasedir=x").Entries(), (Entries{{"DefDBPort", ""}, {"basedir", "x"}}));
    // The file ending inside the key or the separator drops that key.
    EXPECT_EQ(ParseIni("basedir=x\nDefDBPort=").Entries(), (Entries{{"basedir", "x"}}));
    EXPECT_EQ(ParseIni("basedir=x\nDefDBPort = ").Entries(), (Entries{{"basedir", "x"}}));
    EXPECT_EQ(ParseIni("basedir=x\nDefDBPort").Entries(), (Entries{{"basedir", "x"}}));
    // A last line without a line break is read.
    EXPECT_EQ(ParseIni("basedir=x\r\nDefDBPort=5432").Entries(), (Entries{{"basedir", "x"}, {"DefDBPort", "5432"}}));
}

TEST(Settings, BytesBeforeAnEntry)
{
    // A UTF-8 byte-order mark at the start of the file is no part of the
    // first key; anything else there, a blank or a "#", costs the first
    // line's entry.
    EXPECT_EQ(ParseIni("\xEF\xBB\xBF"
                       "DefDBPort=5432\r\nbasedir=x\r\n")
                  .Entries(),
              (Entries{{"DefDBPort", "5432"}, {"basedir", "x"}}));
    EXPECT_EQ(ParseIni("\xEF\xBB\xBF\xEF\xBB\xBF"
                       "DefDBPort=5432\r\n")
                  .Entries(),
              Entries{}) << "only one mark";
    EXPECT_EQ(ParseIni(" DefDBPort=5432\r\nbasedir=x\r\n").Entries(), (Entries{{"basedir", "x"}}));
    EXPECT_EQ(ParseIni("# DefDBPort=5432\r\n").Entries(), Entries{});
    EXPECT_EQ(ParseIni("=5432\r\nbasedir=x\r\n").Entries(), (Entries{{"basedir", "x"}}));

    // The same bytes before a later line are skipped.
    EXPECT_EQ(Port("basedir=x\r\n\xEF\xBB\xBF"
                   "DefDBPort=5432\r\n"),
              "5432");
    EXPECT_EQ(Port("basedir=x\r\n   DefDBPort=5432\r\n"), "5432");
    EXPECT_EQ(Port("basedir=x\r\n\r\n\r\n# DefDBPort=5432\r\n"), "5432");
    EXPECT_EQ(Port("basedir=x\n; DefDBPort=5432\n"), "5432");

    // No sections: a bracketed word gives a key whose value is "]".
    EXPECT_EQ(ParseIni("basedir=x\r\n[database]\r\nDefDBPort=5432\r\n").Entries(),
              (Entries{{"basedir", "x"}, {"database", "]"}, {"DefDBPort", "5432"}}));
}

TEST(Settings, LoadIniFile)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("pelantra-settings-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / kSettingsFileName;

    const Settings missing = LoadIniFile(file.string());
    EXPECT_TRUE(missing.Entries().empty());
    EXPECT_EQ(missing.Get(kPortKey), "");

    {
        std::ofstream out(file, std::ios::binary);
        out << "DefDBPort=5432 \r\nbasedir=C:\\Program Files\\DataSekolah\\\xC3\xA9\r\nDefDBPort=1\r\nLast=end";
    }
    const Settings loaded = LoadIniFile(file.string());
    EXPECT_EQ(loaded.Entries(), (Entries{{"DefDBPort", "5432 "},
                                         {"basedir", "C:\\Program Files\\DataSekolah\\\xC3\xA9"},
                                         {"DefDBPort", "1"},
                                         {"Last", "end"}}));
    EXPECT_EQ(loaded.Get(kPortKey), "5432 ");

    // A folder where the file is expected cannot be read as one.
    EXPECT_TRUE(LoadIniFile(dir.string()).Entries().empty());
#ifndef _WIN32
    // Nor a FIFO, which would wait for a writer, nor a device without end:
    // the connection names the file and why.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(kSettingsFileName, 0600), 0);
    EXPECT_TRUE(LoadIniFile(kSettingsFileName).Entries().empty());
    const Result<std::string> fifo = ConfiguredPort();
    ASSERT_FALSE(fifo.ok());
    EXPECT_EQ(fifo.failure().detail, (dir / kSettingsFileName).string() +
                                         " tidak dapat dibaca sebagai setting.ini: berkas ini FIFO, bukan berkas "
                                         "teks; ganti dengan berkas teks biasa");
    std::filesystem::remove(file);
    std::filesystem::create_symlink("/dev/zero", file);
    EXPECT_TRUE(LoadIniFile(kSettingsFileName).Entries().empty());
    ASSERT_FALSE(ConfiguredPort().ok());
    EXPECT_NE(ConfiguredPort().failure().detail.find("berkas ini perangkat"), std::string::npos);
    std::filesystem::current_path(previous);
#endif

    std::filesystem::remove_all(dir);
}

TEST(Settings, KeepCopiesIsAWholeNumberOrTheDefault)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("pelantra-keep-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    const auto keep = [](const std::string& lines) {
        std::ofstream(kSettingsFileName, std::ios::binary) << "DefDBPort=5432\r\n" << lines;
        return ConfiguredKeepCopies();
    };
    EXPECT_EQ(keep("").value(), kDefaultKeepCopies);
    EXPECT_EQ(keep("KeepCopies=0\r\n").value(), 0);
    EXPECT_EQ(keep("KeepCopies=12  \r\n").value(), 12);
    EXPECT_EQ(keep("KeepCopies=999\r\n").value(), 999);
    for (const char* bad : {"", "lima", "-1", "+3", "1000", "3 arsip", "99999999999999999999"}) {
        SCOPED_TRACE(bad);
        const Result<int> refused = keep(std::string("KeepCopies=") + bad + "\r\n");
        ASSERT_FALSE(refused.ok());
        EXPECT_EQ(refused.failure().reason, kKeepCopiesInvalid);
        EXPECT_EQ(refused.failure().detail, "setting.ini di folder " + CurrentFolder() + ": KeepCopies=" + bad);
    }
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
}

TEST(Settings, AnyBytesGiveWellFormedEntries)
{
    // Seeded random files of every byte value, lines and separators more often.
    std::mt19937 random(20261209);
    const std::string common = "DefDBPort=basedir \r\n\t=#[];\xEF\xBB\xBF"
                               "5432";
    for (int round = 0; round < 3000; ++round) {
        std::string bytes(random() % 200, '\0');
        for (char& c : bytes)
            c = random() % 3 ? common[random() % common.size()] : static_cast<char>(random() % 256);
        const Settings settings = ParseIni(bytes);
        for (const auto& [key, value] : settings.Entries()) {
            ASSERT_FALSE(key.empty());
            for (char c : key)
                ASSERT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '_') << key;
            for (char c : value)
                ASSERT_GE(static_cast<unsigned char>(c), 32) << value;
            ASSERT_NE(bytes.find(key), std::string::npos);
            ASSERT_NE(bytes.find(value), std::string::npos);
        }
    }
}

} // namespace pelantra
