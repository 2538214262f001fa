#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "core/database.h"
#include "core/school_list.h"
#include "schedule/run_log.h"
#include "support/cli_run.h"
#include "support/files.h"
#include "support/test_database.h"
#include "support/work_folder.h"

namespace pelantra {
namespace {

CliRun RunCliWith(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "pelantra-cli");
    std::ostringstream out;
    std::ostringstream err;
    const int code = RunCli(static_cast<int>(arguments.size()), arguments.data(), out, err);
    return {code, out.str(), err.str()};
}

TEST(Cli, UsageErrorsExitTwo)
{
    EXPECT_EQ(RunCliWith({}).exitCode, 2);
    EXPECT_EQ(RunCliWith({"restore"}).exitCode, 2);
    EXPECT_EQ(RunCliWith({"backup", "only-an-id"}).exitCode, 2);
    EXPECT_EQ(RunCliWith({"backup", "id", ""}).exitCode, 2);
    // The first line says what was wrong.
    EXPECT_EQ(RunCliWith({"restore"}).err.rfind("Perintah tidak dikenal: restore\n", 0), 0u);
    EXPECT_EQ(RunCliWith({"backup", "id", "out", "more"}).err.rfind("Argumen berlebih: more\n", 0), 0u);
    EXPECT_EQ(RunCliWith({"verify", "--replay"}).err.rfind("verify perlu <arsip.std>.\n", 0), 0u);
    const CliRun help = RunCliWith({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("pelantra-cli backup <sekolah_id> <folder>"), std::string::npos);
}

TEST(Cli, ScheduleTakesADayATimeAndAFolderThatExists)
{
    WorkFolder work("1");
    const std::string folder = work.Path();
    const auto firstLine = [](const CliRun& run) { return run.err.substr(0, run.err.find('\n')); };
    EXPECT_EQ(firstLine(RunCliWith({"schedule", "monthly"})), "schedule perlu daily, weekly atau off: monthly");
    EXPECT_EQ(firstLine(RunCliWith({"schedule", "daily", "19:30"})), "schedule daily perlu <JJ:MM> dan <folder>.");
    EXPECT_EQ(firstLine(RunCliWith({"schedule", "weekly", "Senen", "25:00", folder.c_str()})),
              "Jam tidak dikenal: 25:00 (tulis JJ:MM, misalnya 19:30)");
    EXPECT_EQ(firstLine(RunCliWith({"schedule", "weekly", "Sen", "19:30", folder.c_str()})),
              "Hari tidak dikenal: Sen (Senin sampai Minggu)");
    EXPECT_EQ(RunCliWith({"schedule", "off", "now"}).exitCode, 2);
    const CliRun missing = RunCliWith({"schedule", "daily", "19:30", (folder + "/tidak-ada").c_str()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(firstLine(missing), "Folder tujuan tidak ditemukan; pilih folder lain");
    // A line break in the folder's name would make lines of its own in the
    // system's schedule.
    const std::string broken = folder + "/a\nExecStartPre=/bin/false";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(broken)));
    const CliRun unfit = RunCliWith({"schedule", "daily", "19:30", broken.c_str()});
    EXPECT_EQ(unfit.exitCode, 2);
    EXPECT_EQ(unfit.err.rfind("Nama folder berisi baris baru atau karakter kendali; pilih folder lain: ", 0), 0u);
    // Nor one that systemd would trim into another.
    const std::string trimmed = folder + "/cadangan ";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(trimmed)));
    const CliRun blank = RunCliWith({"schedule", "daily", "19:30", trimmed.c_str()});
    EXPECT_EQ(blank.exitCode, 2);
    EXPECT_EQ(firstLine(blank), "Nama folder berakhir dengan \\ atau spasi, yang tidak dapat dipakai jadwal systemd; "
                                "pilih folder lain: " +
                                    trimmed);
    // The scheduled run reads the setting.ini of the folder it starts in.
    QFile::remove(QString::fromStdString(folder) + "/setting.ini");
    const CliRun elsewhere = RunCliWith({"schedule", "daily", "19:30", folder.c_str()});
    EXPECT_EQ(elsewhere.exitCode, 1);
    EXPECT_EQ(firstLine(elsewhere),
              "setting.ini tidak ada di folder " + folder + "; jalankan perintah ini di folder setting.ini");
}

TEST(Cli, RefusedConnectionSaysSoAndExitsOne)
{
    WorkFolder work("1");
    const CliRun run = RunCliWith({"schools"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("Gagal melakukan koneksi database\n\n127.0.0.1 port 1: ", 0), 0u) << run.err;
    EXPECT_TRUE(run.out.empty());

    // Without the port, or without the file, the settings are named, not the library.
    work.WriteSettings("", work.ToolsPath());
    EXPECT_NE(RunCliWith({"schools"}).err.find("tidak berisi DefDBPort"), std::string::npos);
    QFile::remove(QString::fromStdString(work.Path()) + "/setting.ini");
    EXPECT_NE(RunCliWith({"schools"}).err.find("setting.ini tidak ada di folder"), std::string::npos);
}

TEST(Cli, SchoolsAreListedAsTheWindowFillsThem)
{
    PELANTRA_REQUIRE_DATABASE(port);
    WorkFolder work(port);
    const CliRun run = RunCliWith({"schools"});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    PostgreSQLSession session;
    ASSERT_TRUE(session.OpenOnPort(port));
    std::string expected;
    const std::vector<SchoolEntry> schools = LoadSchoolList(session).value();
    for (const SchoolEntry& school : schools)
        expected += school.id + "\t" + school.name + "\n";
    EXPECT_EQ(run.out, expected);

    const std::string twoAccounts = "5e000000-0000-4000-8000-000000000001\tSD Negeri 1 Hulu\n";
    const size_t first = run.out.find(twoAccounts);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(run.out.find(twoAccounts, first + 1), std::string::npos);
    EXPECT_EQ(run.out.find("5e000000-0000-4000-8000-000000000003"), std::string::npos);

    // A name with a terminal's escape sequence and a line break: printed
    // escaped, one line a school, and so in the backup's lines and the log.
    const std::string school4 = "5e000000-0000-4000-8000-000000000004";
    RunPsql(port, "pendataan",
            "UPDATE sekolah SET nama = E'SD \\x1b[2JMerah\\n" + school4 + "\\tPalsu' WHERE sekolah_id = '" + school4 +
                "';");
    struct Undo {
        std::string port, school;
        ~Undo()
        {
            RunPsql(port, "pendataan",
                    "UPDATE sekolah SET nama = 'SD Inpres Wilayah Hilang' WHERE sekolah_id = '" + school + "';");
        }
    } undo{port, school4};
    const std::string shown = "SD \\x1b[2JMerah\\x0a" + school4 + "\\x09Palsu";
    const CliRun listed = RunCliWith({"schools"});
    EXPECT_NE(listed.out.find(school4 + "\t" + shown + "\n"), std::string::npos) << listed.out;
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), std::count(run.out.begin(), run.out.end(), '\n'));
    QTemporaryDir folder;
    const CliRun backup = RunCliWith({"backup", school4.c_str(), folder.path().toUtf8()});
    ASSERT_EQ(backup.exitCode, 0) << backup.err;
    EXPECT_NE(backup.out.find("Sekolah: " + shown + "\n"), std::string::npos) << backup.out;
    EXPECT_EQ(backup.out.find('\x1b'), std::string::npos);
    const CliRun log = RunCliWith({"log", "--last", "1"});
    EXPECT_NE(log.out.find(shown), std::string::npos) << log.out;
    EXPECT_EQ(std::count(log.out.begin(), log.out.end(), '\n'), 1);
}

TEST(Cli, BackupReportsSuccessAndFailureHonestly)
{
    PELANTRA_REQUIRE_DATABASE(port);
    WorkFolder work(port);
    QTemporaryDir folder;

    const CliRun done =
        RunCliWith({"backup", "5e000000-0000-4000-8000-000000000005", folder.path().toUtf8().constData()});
    ASSERT_EQ(done.exitCode, 0) << done.err;
    EXPECT_EQ(done.out.rfind("Menyiapkan data...\nmenulis " + folder.path().toStdString() +
                                 "/010101_Kab__Hulu_10100005_TK_Kosong.std\n",
                             0),
              0u)
        << done.out;
    EXPECT_NE(done.out.find("selesai\nBackup data telah berhasil dilakukan\n"), std::string::npos) << done.out;

    const CliRun unknown = RunCliWith({"backup", "x' OR '1'='1", folder.path().toUtf8().constData()});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err.rfind("Backup data gagal dilakukan\nSekolah tidak ditemukan\n", 0), 0u) << unknown.err;
}

TEST(Cli, BackupKeepsTheEarlierArchiveOrSaysWhyNot)
{
    PELANTRA_REQUIRE_DATABASE(port);
    WorkFolder work(port);
    QTemporaryDir folder;
    const QByteArray path = folder.path().toUtf8();
    const char* school = "5e000000-0000-4000-8000-000000000005";
    ASSERT_EQ(RunCliWith({"backup", school, path}).exitCode, 0);
    const CliRun again = RunCliWith({"backup", school, path});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(QDir(folder.filePath("Riwayat")).entryList(QDir::Files).size(), 1);

    // A file where Riwayat belongs: the backup stands, with one line why.
    ASSERT_TRUE(QDir(folder.filePath("Riwayat")).removeRecursively());
    QFile blocking(folder.filePath("Riwayat"));
    ASSERT_TRUE(blocking.open(QIODevice::WriteOnly));
    blocking.close();
    const CliRun unkept = RunCliWith({"backup", school, path});
    EXPECT_EQ(unkept.exitCode, 0);
    EXPECT_EQ(unkept.err,
              "Arsip lama tidak dapat disimpan di folder Riwayat: ada berkas bernama Riwayat, bukan folder\n" +
                  folder.filePath("Riwayat").toStdString() + "\n");

    // A KeepCopies no backup can follow is named before anything is written.
    work.WriteSettings(port, work.ToolsPath() + "\r\nKeepCopies=semua");
    const CliRun refused = RunCliWith({"backup", school, path});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err.rfind("Backup data gagal dilakukan\nKeepCopies di setting.ini harus angka 0 sampai 999", 0),
              0u)
        << refused.err;
    EXPECT_NE(refused.err.find(": KeepCopies=semua"), std::string::npos) << refused.err;
}

TEST(Cli, EachBackupRunIsOneLineOfTheLog)
{
    PELANTRA_REQUIRE_DATABASE(port);
    WorkFolder work(port);
    QTemporaryDir folder;
    QTemporaryDir data;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const std::string school = "5e000000-0000-4000-8000-000000000005";
    const CliRun done = RunCliWith({"backup", school.c_str(), folder.path().toUtf8()});
    ASSERT_EQ(done.exitCode, 0) << done.err;
    const std::string archive = done.out.substr(done.out.rfind('\n', done.out.size() - 2) + 1, std::string::npos);
    ASSERT_EQ(RunCliWith({"backup", "5e000000-0000-4000-8000-0000000000ff", folder.path().toUtf8()}).exitCode, 1);

    const std::string log = ReadFile(RunLogPath());
    ASSERT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    const std::string success = log.substr(0, log.find('\n'));
    const QStringList fields = QString::fromStdString(success).split('\t');
    ASSERT_EQ(fields.size(), 9) << success;
    EXPECT_TRUE(
        QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$").match(fields[0]).hasMatch())
        << success;
    const QString path = QString::fromStdString(archive).trimmed();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString sha256 = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
    EXPECT_EQ(fields.mid(1, 6).join('|').toStdString(), "perintah|" + school +
                                                            "|TK Kosong|Backup data telah berhasil dilakukan|" +
                                                            path.toStdString() + "|" + std::to_string(file.size()));
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d$").match(fields[7]).hasMatch()) << success;
    EXPECT_EQ(fields[8], sha256);
    EXPECT_NE(log.find("\tperintah\t5e000000-0000-4000-8000-0000000000ff\t\tSekolah tidak ditemukan\t\t\t"),
              std::string::npos)
        << log;

    // pelantra-cli log: all of it, or one school's last runs.
    EXPECT_EQ(RunCliWith({"log"}).out, log);
    EXPECT_EQ(RunCliWith({"log", "--school", school.c_str(), "--last", "5"}).out, success + "\n");
    EXPECT_EQ(RunCliWith({"log", "--last", "1"}).out, log.substr(success.size() + 1));
    EXPECT_EQ(RunCliWith({"log", "--last", "0"}).exitCode, 2);

    // A log that cannot be written is no reason to fail.
    QFile::remove(QString::fromStdString(RunLogPath()));
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(RunLogPath())));
    EXPECT_EQ(RunCliWith({"backup", school.c_str(), folder.path().toUtf8()}).exitCode, 0);
    qputenv("XDG_DATA_HOME", dataHome);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

class CliArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PELANTRA_REQUIRE_DATABASE(sandboxPort);
        port = sandboxPort;
        work = std::make_unique<WorkFolder>(port);
        const CliRun done = RunCliWith({"backup", "5e000000-0000-4000-8000-000000000002", folder.path().toUtf8()});
        ASSERT_EQ(done.exitCode, 0) << done.err;
        archive = done.out.substr(done.out.rfind('\n', done.out.size() - 2) + 1);
        archive.pop_back();
        dump = ExtractMember(archive);
    }

    std::string Query(const std::string& statement) { return RunPsql(port, "pendataan", statement); }

    std::string port;
    std::unique_ptr<WorkFolder> work;
    QTemporaryDir folder;
    std::string archive;
    std::string dump;
};

TEST_F(CliArchiveTest, VerifyAcceptsABackupAndRejectsEachTampering)
{
    const CliRun good = RunCliWith({"verify", archive.c_str()});
    ASSERT_EQ(good.exitCode, 0) << good.err;
    EXPECT_EQ(good.out.rfind("ptk\t2\n", 0), 0u) << good.out;
    EXPECT_NE(good.out.find("\nsekolah\t1\nArsip utuh\n"), std::string::npos) << good.out;

    const std::string tampered = folder.filePath("tampered.std").toStdString();
    const std::size_t firstInsert = dump.find("INSERT INTO ptk(");
    struct Case {
        const char* name;
        std::vector<std::pair<QString, std::string>> members;
        const char* password;
        const char* reason;
        ArchiveDamage damage = ArchiveDamage::None;
        QStringList switches = {};
    };
    constexpr const char* kDamaged = "Arsip rusak atau tidak lengkap";
    constexpr const char* kNotOurs = "Berkas ini bukan arsip backup Pelantra";
    const Case cases[] = {
        {"another password", {{"kartesa2014.sql", dump}}, "-pother", kNotOurs},
        {"flipped bytes", {{"kartesa2014.sql", dump}}, "-ptiupanbatur", kDamaged, ArchiveDamage::FlippedBytes},
        {"cut short", {{"kartesa2014.sql", dump}}, "-ptiupanbatur", kDamaged, ArchiveDamage::CutShort},
        {"a text file", {{"kartesa2014.sql", dump}}, "-ptiupanbatur", kNotOurs, ArchiveDamage::TextInstead},
        {"no closing line",
         {{"kartesa2014.sql", dump.substr(0, dump.find("--\n-- Kartesa Ombralu complete"))}},
         "-ptiupanbatur",
         kDamaged},
        {"no such file", {}, nullptr, "Berkas arsip tidak ditemukan; periksa nama dan foldernya"},
        {"member missing", {{"lain.sql", dump}}, "-ptiupanbatur", kNotOurs},
        {"member extra", {{"kartesa2014.sql", dump}, {"lain.sql", "x"}}, "-ptiupanbatur", kNotOurs},
        {"a zip archive", {{"kartesa2014.sql", dump}}, "-ptiupanbatur", kNotOurs, ArchiveDamage::None, {"-tzip"}},
        {"ends inside a value",
         {{"kartesa2014.sql", dump.substr(0, dump.find("VALUES ('", firstInsert) + 12)}},
         "-ptiupanbatur",
         "Isi arsip terpotong di tengah nilai atau komentar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(QString::fromStdString(tampered));
        if (c.password) {
            PackArchive(tampered, c.members, c.password, c.switches);
            DamageArchive(tampered, c.damage);
        }
        const CliRun run = RunCliWith({"verify", tampered.c_str()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err.rfind(std::string(c.reason) + "\n", 0), 0u) << run.err;
    }

    // A small archive that unpacks to more than a check takes is refused
    // from its listing, before anything of it is read.
    QProcess pack;
    pack.start(QString::fromStdString(MachineArchiver()),
               {"a", "-sikartesa2014.sql", "-mx1", "-ptiupanbatur", QString::fromStdString(tampered)});
    ASSERT_TRUE(pack.waitForStarted());
    const QByteArray zeros(1 << 20, '\0');
    for (int mib = 0; mib < 1025; ++mib) {
        pack.write(zeros);
        pack.waitForBytesWritten(-1);
    }
    pack.closeWriteChannel();
    ASSERT_TRUE(pack.waitForFinished(-1) && pack.exitCode() == 0);
    ASSERT_LT(QFileInfo(QString::fromStdString(tampered)).size(), 1 << 20);
    for (const std::vector<const char*>& command : {std::vector<const char*>{"verify", tampered.c_str()},
                                                    std::vector<const char*>{"verify", "--replay", tampered.c_str()}}) {
        const CliRun run = RunCliWith(command);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err.rfind("Isi arsip terlalu besar untuk diperiksa (1025 MiB; batas 1024 MiB)\n", 0), 0u)
            << run.err;
    }
}

// Archives an attacker makes from a real backup: each is refused before the
// server sees any of it, by verify and by verify --replay alike, and nothing
// runs, changes or stays behind.
TEST_F(CliArchiveTest, HostileArchivesAreRefusedAndRunNothing)
{
    const std::string marker = QDir::temp().filePath("pelantra-forged-marker").toStdString();
    QFile::remove(QString::fromStdString(marker));
    Query("CREATE SEQUENCE IF NOT EXISTS public.pelantra_forge_seq;");
    const std::string program = "COPY (SELECT 1) TO PROGRAM 'touch " + marker + "';";
    const std::string state = "SELECT (SELECT string_agg(rolname, ',' ORDER BY rolname) FROM pg_roles) || ' ' || "
                              "(SELECT string_agg(nspname, ',' ORDER BY nspname) FROM pg_namespace) || ' ' || "
                              "(SELECT count(*) FROM pg_class WHERE relnamespace = 'public'::regnamespace) || ' ' || "
                              "(SELECT last_value || is_called::text FROM public.pelantra_forge_seq) || ' ' || "
                              "(SELECT count(*) FROM pg_locks WHERE locktype = 'advisory') || ' ' || "
                              "(SELECT md5(string_agg(t::text, '|' ORDER BY t::text)) FROM public.sekolah t) || "
                              "(SELECT md5(string_agg(t::text, '|' ORDER BY t::text)) FROM public.ptk t) || "
                              "(SELECT md5(string_agg(t::text, '|' ORDER BY t::text)) FROM public.pengguna t) || "
                              "(SELECT string_agg(usename || passwd, ',') FROM pg_shadow);";
    const std::string before = Query(state);

    const std::size_t firstInsert = dump.find("INSERT INTO ptk(");
    const std::string row = dump.substr(firstInsert, dump.find(");\n", firstInsert) + 3 - firstInsert);
    const std::string columns = row.substr(0, row.find(" VALUES"));
    const auto beforeRow = [&](const std::string& text) { return Replaced(dump, row, text + row); };
    const auto insteadOfRow = [&](const std::string& text) { return Replaced(dump, row, text); };
    const std::size_t valuesOpen = row.find("VALUES (") + 8;
    const std::string value = row.substr(valuesOpen, row.find('\'', valuesOpen + 1) + 1 - valuesOpen); // the first
    const std::string twoColumns = columns.substr(0, columns.find(',', columns.find(',') + 1)) + ")";
    const std::size_t schoolRowAt = dump.find("INSERT INTO sekolah(");
    const std::string schoolRow = dump.substr(schoolRowAt, dump.find(");\n", schoolRowAt) + 3 - schoolRowAt);
    const std::string school = "5e000000-0000-4000-8000-000000000002";
    const std::string otherSchool = "5e000000-0000-4000-8000-000000000001";
    const std::size_t postAt = dump.find("INSERT INTO ptk_terdaftar(");
    const std::string post = dump.substr(postAt, dump.find(");\n", postAt) + 3 - postAt);
    struct Hostile {
        const char* name;
        std::string text;
        const char* reason = "Arsip berisi perintah yang tidak diizinkan\n\nbaris ";
    };
    constexpr const char* kNotOneSchool = "Arsip tidak berisi data tepat satu sekolah\n";
    const std::vector<Hostile> hostile = {
        // Read as PostgreSQL and psql read it, a CR ends a comment.
        {"a CR ending a comment, then a program", beforeRow("-- catatan\r" + program + "\n")},
        {"a CR ending a comment, then a meta-command", beforeRow("-- catatan\r\\! touch " + marker + "\n")},
        {"a form feed between words", insteadOfRow(Replaced(row, ") VALUES (", ")\fVALUES ("))},
        // With standard_conforming_strings off, the first value goes on past its quote.
        {"a backslash before the closing quote",
         insteadOfRow(twoColumns + " VALUES ('a\\', ',NULL);COPY (SELECT 1) TO PROGRAM $$touch " + marker +
                      "$$;--');\n")},
        {"an escape other than a doubled backslash", insteadOfRow(Replaced(row, value, "E'\\x41'"))},
        {"two schools", Replaced(dump, schoolRow, schoolRow + Replaced(schoolRow, school, otherSchool)), kNotOneSchool},
        {"no school", Replaced(dump, schoolRow, ""), kNotOneSchool},
        {"a teacher's post at another school", Replaced(dump, post, Replaced(post, school, otherSchool)),
         kNotOneSchool},
        {"commit, then the public tables",
         beforeRow("COMMIT;\nCREATE TABLE public.forged_by_archive(x int);\n" + program + "\nBEGIN;\n")},
        {"a program on the server", beforeRow(program + "\n")},
        {"another role", beforeRow("SET ROLE postgres;\nCREATE ROLE forged SUPERUSER;\n")},
        {"commit and a superuser", beforeRow("COMMIT;\nCREATE ROLE forged SUPERUSER LOGIN;\n"
                                             "UPDATE pengguna SET password = 'x';\n")},
        {"rollback and end", beforeRow("ROLLBACK;\nINSERT INTO sekolah(sekolah_id) VALUES ('x');\nEND;\n")},
        {"a server file read", beforeRow("SELECT pg_read_file('/etc/hostname');\n")},
        {"a function call in VALUES", insteadOfRow(Replaced(row, value, "nextval('public.pelantra_forge_seq')"))},
        {"a sub-select in VALUES", insteadOfRow(Replaced(row, value, "(SELECT rolname FROM pg_authid LIMIT 1)"))},
        {"a cast in VALUES", insteadOfRow(Replaced(row, value, value + "::text"))},
        {"a table outside the thirteen",
         beforeRow("INSERT INTO pengguna(pengguna_id,sekolah_id) VALUES ('x', 'y');\n")},
        {"a system catalog", beforeRow("INSERT INTO pg_authid(rolname,rolsuper) VALUES ('forged', true);\n")},
        {"a schema named", Replaced(dump, "INSERT INTO ptk(", "INSERT INTO public.ptk(")},
        {"no column list", insteadOfRow("INSERT INTO ptk" + row.substr(row.find(" VALUES")))},
        {"a statement after */", beforeRow("/* settings */ " + program + "\n")},
        {"a semicolon in a string, then a statement", beforeRow(columns + " VALUES ('a;b'); " + program + "\n")},
        {"a dollar quote", beforeRow("DO $$BEGIN PERFORM nextval('public.pelantra_forge_seq'); END$$;\n")},
        {"a dollar quote hiding a meta-command",
         beforeRow(columns + " VALUES ($x$\n\\! touch " + marker + "\n$x$);\n")},
        {"a psql meta-command", Replaced(dump, "-- \\unrestrict", "\\! touch " + marker + "\n\\unrestrict")},
        {"on conflict", insteadOfRow(Replaced(row, ");\n", ") ON CONFLICT DO NOTHING;\n"))},
        {"returning", insteadOfRow(Replaced(row, ");\n", ") RETURNING *;\n"))},
        {"insert select", beforeRow("INSERT INTO ptk(ptk_id) SELECT nextval('public.pelantra_forge_seq');\n")},
        {"default values", beforeRow("INSERT INTO ptk DEFAULT VALUES;\n")},
        {"a nested comment", beforeRow("/* /* */ " + program + " */\n")},
    };
    const std::string forged = folder.filePath("forged.std").toStdString();
    for (const auto& [name, text, reason] : hostile) {
        SCOPED_TRACE(name);
        PackArchive(forged, {{"kartesa2014.sql", text}});
        for (const char* mode : {"--check", "--replay"}) {
            SCOPED_TRACE(mode);
            const CliRun run = std::string(mode) == "--replay" ? RunCliWith({"verify", "--replay", forged.c_str()})
                                                               : RunCliWith({"verify", forged.c_str()});
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.err.rfind(reason, 0), 0u) << run.err;
            EXPECT_FALSE(QFile::exists(QString::fromStdString(marker))) << "a program ran on the server";
            EXPECT_EQ(Query(state), before);
        }
    }
    Query("DROP SEQUENCE public.pelantra_forge_seq;");
}

TEST_F(CliArchiveTest, ReplayProvesTheBackupRestoresAndLeavesNothing)
{
    const CliRun good = RunCliWith({"verify", "--replay", archive.c_str()});
    ASSERT_EQ(good.exitCode, 0) << good.err;
    EXPECT_NE(good.out.find("Arsip utuh dan dapat dipulihkan"), std::string::npos);

    // Two rows with one key do not restore.
    const std::size_t row = dump.find("INSERT INTO ptk(");
    const std::string statement = dump.substr(row, dump.find(");\n", row) + 3 - row);
    const std::string doubled = folder.filePath("doubled.std").toStdString();
    PackArchive(doubled, {{"kartesa2014.sql", Replaced(dump, statement, statement + statement)}});
    EXPECT_EQ(RunCliWith({"verify", doubled.c_str()}).exitCode, 0) << "only the replay can tell";
    const CliRun bad = RunCliWith({"verify", "--replay", doubled.c_str()});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err.rfind("Isi arsip tidak dapat dipulihkan\n", 0), 0u) << bad.err;
    EXPECT_NE(bad.err.find("duplicate key"), std::string::npos) << bad.err;

    // Values go in as SQL reads them in a restore, whatever the column: a
    // bare number is a number, not a text for the column to read.
    const std::size_t schoolRowAt = dump.find("INSERT INTO sekolah(");
    const std::string schoolRow = dump.substr(schoolRowAt, dump.find(");\n", schoolRowAt) + 3 - schoolRowAt);
    const std::size_t studentAt = dump.find("INSERT INTO peserta_didik(");
    const std::string studentColumns = dump.substr(studentAt, dump.find(" VALUES", studentAt) - studentAt);
    const auto student = [&](const std::string& column, const std::string& value) {
        std::map<std::string, std::string> values = {
            {"peserta_didik_id", "'9d000000-0000-4000-8000-0000000000aa'"},
            {"nama", "'Uji'"},
            {"jenis_kelamin", "'L'"},
            {"tanggal_lahir", "'2013-03-12'"},
            {"agama_id", "1"},
            {"alamat_jalan", "'Jl. Uji'"},
            {"desa_kelurahan", "'Muara'"},
            {"kode_wilayah", "'010201'"},
            {"nama_ibu_kandung", "'Ibu'"},
            {"penerima_kps", "false"},
            {"create_date", "'2024-07-15 08:00:00'"},
            {"last_update", "'2024-07-15 08:00:00'"},
            {"soft_delete", "0"},
            {"last_sync", "'1901-01-01 00:00:00'"},
        };
        values[column] = value;
        std::string tuple;
        std::size_t from = studentColumns.find('(') + 1;
        for (std::size_t end; from < studentColumns.size(); from = end + 1) {
            end = studentColumns.find_first_of(",)", from);
            const auto found = values.find(studentColumns.substr(from, end - from));
            tuple += (tuple.empty() ? "" : ", ") + (found == values.end() ? std::string("NULL") : found->second);
        }
        const std::string path = folder.filePath("student.std").toStdString();
        PackArchive(path, {{"kartesa2014.sql",
                            Replaced(dump, schoolRow, studentColumns + " VALUES (" + tuple + ");\n" + schoolRow)}});
        return RunCliWith({"verify", "--replay", path.c_str()});
    };
    EXPECT_EQ(student("nama", "'Uji'").exitCode, 0);
    EXPECT_EQ(student("nisn", "1.0000000e1").exitCode, 0) << "10.000000 fits char(10); the text 1.0000000e1 does not";
    for (const auto& [column, value] : {std::pair{"tanggal_lahir", "20130312"}, std::pair{"penerima_kps", "1"}}) {
        const CliRun refused = student(column, value);
        EXPECT_EQ(refused.exitCode, 1) << column;
        EXPECT_EQ(refused.err.rfind("Isi arsip tidak dapat dipulihkan\n", 0), 0u) << refused.err;
        EXPECT_NE(refused.err.find("integer"), std::string::npos) << refused.err;
    }

    EXPECT_EQ(Query("SELECT count(*) FROM pg_namespace WHERE nspname='pelantra_uji';"), "0\n");
    EXPECT_EQ(Query("SELECT count(*) FROM pg_locks WHERE locktype='advisory';"), "0\n");
}

TEST_F(CliArchiveTest, InputsAreTakenForWhatTheyAre)
{
    // Archive names that look like the archiver's switches or list files.
    for (const char* name : {"-arsip.std", "@arsip.std"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(QFile::copy(QString::fromStdString(archive), QString::fromStdString(work->Path()) + "/" + name));
        const CliRun run = RunCliWith({"verify", name});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find("Arsip utuh"), std::string::npos);
    }

    // A school list that cannot be read is a failure, not an empty list.
    Query("ALTER TABLE public.pengguna RENAME TO pengguna_lama;");
    const CliRun schools = RunCliWith({"schools"});
    const CliRun all = RunCliWith({"backup", "--all", folder.path().toUtf8()});
    Query("ALTER TABLE public.pengguna_lama RENAME TO pengguna;");
    EXPECT_EQ(schools.exitCode, 1);
    EXPECT_EQ(schools.err.rfind("Daftar sekolah tidak dapat dibaca dari database\n\n", 0), 0u) << schools.err;
    EXPECT_NE(schools.err.find("pengguna"), std::string::npos) << "the server's answer";
    EXPECT_TRUE(schools.out.empty());
    EXPECT_EQ(all.exitCode, 1);
    EXPECT_EQ(all.err.rfind("Daftar sekolah tidak dapat dibaca dari database\n", 0), 0u) << all.err;

    // Settings without an installation root say so.
    work->WriteSettings(port, "");
    const QByteArray out = folder.path().toUtf8();
    for (const std::vector<const char*>& command :
         {std::vector<const char*>{"verify", archive.c_str()},
          std::vector<const char*>{"backup", "5e000000-0000-4000-8000-000000000002", out.constData()}}) {
        const CliRun run = RunCliWith(command);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("setting.ini tidak berisi basedir"), std::string::npos) << run.err;
    }
}

TEST_F(CliArchiveTest, BackupOfAllSchoolsGoesOnPastOneThatFails)
{
    PostgreSQLSession session;
    ASSERT_TRUE(session.OpenOnPort(port));
    std::set<std::string> distinct;
    const std::vector<SchoolEntry> schools = LoadSchoolList(session).value();
    for (const SchoolEntry& school : schools)
        distinct.insert(school.id);

    QTemporaryDir all;
    const CliRun run = RunCliWith({"backup", "--all", all.path().toUtf8()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(QDir(all.path()).entryList({"*.std"}, QDir::Files).size(), static_cast<int>(distinct.size()));
    EXPECT_NE(run.out.find(std::to_string(distinct.size()) + " dari " + std::to_string(distinct.size())),
              std::string::npos)
        << run.out;

    // A folder where one school's archive belongs makes that one fail.
    QTemporaryDir blocked;
    ASSERT_TRUE(QDir(blocked.path()).mkdir("010101_Kab__Hulu_10100005_TK_Kosong.std"));
    const CliRun partly = RunCliWith({"backup", "--all", blocked.path().toUtf8()});
    EXPECT_EQ(partly.exitCode, 1);
    EXPECT_NE(partly.out.find("TK Kosong: gagal, "), std::string::npos) << partly.out;
    EXPECT_EQ(QDir(blocked.path()).entryList({"*.std"}, QDir::Files).size(), static_cast<int>(distinct.size()) - 1);
}

} // namespace
} // namespace pelantra
