#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#include <filesystem>
#include <string>

#include "backup/archive_draft.h"
#include "backup/archive_history.h"
#include "backup/messages.h"
#include "support/files.h"

namespace pelantra {
namespace {

class HistoryTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return QDir(folder.path()).filePath(name); }
    QString Kept(const QString& name) const
    {
        return QDir(folder.path()).filePath(QString(kHistoryFolder) + "/" + name);
    }

    static void Write(const QString& path, const std::string& bytes, const QDateTime& modified = {})
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        file.flush();
        if (modified.isValid()) {
            ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
        }
    }
    static std::string Read(const QString& path) { return ReadFile(path.toStdString()); }

    // One backup's replace of the archive by `bytes`: its note.
    Result<std::string> Backup(const std::string& bytes, int keepCopies, FolderSync sync = FolderSync::Real) const
    {
        ArchiveDraft draft(archive.toStdString());
        EXPECT_TRUE(draft.Ready().ok());
        Write(QString::fromStdString(draft.Path()), bytes);
        Result<ReplacedArchive> replaced = draft.Replace(keepCopies, sync);
        if (!replaced.ok())
            return replaced.failure();
        return replaced.value().note;
    }
    void SetModified(const QDateTime& modified) const
    {
        QFile earlier(archive);
        ASSERT_TRUE(earlier.open(QIODevice::ReadWrite));
        ASSERT_TRUE(earlier.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    std::string History() const { return Names(QDir(Path(kHistoryFolder)).entryList(QDir::Files, QDir::Name)); }
    static std::string Names(QStringList names)
    {
        names.sort();
        return names.join(" | ").toStdString();
    }

    QTemporaryDir folder;
    const QString archive = Path("010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu.std");
};

QDateTime Local(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 3, day), QTime(hour, minute, 30));
}

TEST_F(HistoryTest, EachReplaceKeepsTheEarlierArchiveAndTheNewestKeepCopiesStay)
{
    // No earlier archive: nothing to keep, and no Riwayat.
    ASSERT_EQ(Backup("v1", 2).value(), "");
    EXPECT_FALSE(QFileInfo::exists(Path(kHistoryFolder)));

    // What the folders hold besides: another school's kept copy, names that
    // only look alike, and the operator's own files. None may go.
    QDir(folder.path()).mkpath(kHistoryFolder);
    const QStringList foreign = {"010101_Kab__Hulu_10100002_SD_Negeri_2_Hulu_2020-01-01_0000.std",
                                 "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2020-01-01_0000.std.bak",
                                 "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2020-01-01_0000 (1).std",
                                 "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2020-01-01_0000.std\n",
                                 "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2020-01-01_000000_0.std",
                                 "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu.std",
                                 "catatan.txt"};
    for (const QString& name : foreign)
        Write(Kept(name), "operator's");
    Write(Path("lain.std"), "operator's");
    // An older kept copy of this school, from before: the first to go.
    Write(Kept("010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2019-12-31_2359.std"), "v0");

    for (int version = 2; version <= 4; ++version) {
        SCOPED_TRACE(version);
        SetModified(Local(version, 7, 5));
        const std::string bytes = std::string("v").append(std::to_string(version));
        const Result<std::string> replaced = Backup(bytes, 2);
        ASSERT_TRUE(replaced.ok()) << replaced.failure().detail;
        EXPECT_EQ(replaced.value(), "");
        EXPECT_EQ(Read(archive), bytes);
        EXPECT_EQ(Read(Kept(QString("010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2026-03-0%1_070530.std").arg(version))),
                  std::string("v").append(std::to_string(version - 1)));
    }
    QStringList expected = foreign;
    expected << "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2026-03-03_070530.std"
             << "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2026-03-04_070530.std";
    expected.sort();
    EXPECT_EQ(History(), Names(expected));
    for (const QString& name : foreign)
        EXPECT_EQ(Read(Kept(name)), "operator's") << name.toStdString();
    EXPECT_EQ(Read(Path("lain.std")), "operator's");
    EXPECT_EQ(Names(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)),
              Names({"010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu.std", kHistoryFolder, "lain.std"}))
        << "the private folder stays behind";

    // KeepCopies=0 keeps none, and those kept before go too.
    ASSERT_EQ(Backup("v5", 0).value(), "");
    expected.removeIf([](const QString& name) { return name.endsWith("_070530.std"); });
    EXPECT_EQ(History(), Names(expected));
}

TEST_F(HistoryTest, KeptCopiesHaveNamesOfTheirOwnAndGoOldestByName)
{
    const QString base = "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_";
    QDir(folder.path()).mkpath(kHistoryFolder);
    // Kept by the minute, as before: counted, and ordered by that minute.
    Write(Kept(base + "2026-03-05_0700.std"), "minute");
    Write(archive, "v0");

    // Four backups within one second: each earlier archive keeps a name of its own.
    for (int version = 1; version <= 4; ++version) {
        SetModified(QDateTime(QDate(2026, 3, 5), QTime(7, 5, 9)));
        ASSERT_EQ(Backup(std::string("v").append(std::to_string(version)), 5).value(), "");
    }
    EXPECT_EQ(History(),
              Names({base + "2026-03-05_0700.std", base + "2026-03-05_070509.std", base + "2026-03-05_070509_2.std",
                     base + "2026-03-05_070509_3.std", base + "2026-03-05_070509_4.std"}));
    EXPECT_EQ(Read(Kept(base + "2026-03-05_070509.std")), "v0");
    EXPECT_EQ(Read(Kept(base + "2026-03-05_070509_4.std")), "v3");

    // One minute on: the minute's copy is the oldest, then the first of that second.
    SetModified(QDateTime(QDate(2026, 3, 5), QTime(7, 6, 9)));
    ASSERT_EQ(Backup("v5", 5).value(), "");
    SetModified(QDateTime(QDate(2026, 3, 5), QTime(7, 6, 10)));
    ASSERT_EQ(Backup("v6", 5).value(), "");
    EXPECT_EQ(History(),
              Names({base + "2026-03-05_070509_3.std", base + "2026-03-05_070509_4.std", base + "2026-03-05_070609.std",
                     base + "2026-03-05_070610.std", base + "2026-03-05_070509_2.std"}));

    // A PC whose clock was wrong made the archive in 2000: it stays this
    // run, and the oldest by name goes in its place.
    SetModified(QDateTime(QDate(2000, 1, 1), QTime(0, 0, 1)));
    ASSERT_EQ(Backup("v7", 5).value(), "");
    EXPECT_EQ(History(),
              Names({base + "2000-01-01_000001.std", base + "2026-03-05_070509_3.std", base + "2026-03-05_070509_4.std",
                     base + "2026-03-05_070609.std", base + "2026-03-05_070610.std"}));
    EXPECT_EQ(Read(Kept(base + "2000-01-01_000001.std")), "v6");
    EXPECT_EQ(Read(archive), "v7");
}

TEST_F(HistoryTest, AReplaceWhoseFolderFlushFailsHasSucceededAndKeepsTheEarlierArchive)
{
    Write(archive, "earlier", Local(9, 18, 45));
    const Result<std::string> replaced = Backup("new", 5, FolderSync::Fails);
    ASSERT_TRUE(replaced.ok()) << replaced.failure().reason << ": " << replaced.failure().detail;
    EXPECT_EQ(replaced.value().substr(0, replaced.value().find('\n')), kFolderNotSynced);
    EXPECT_NE(replaced.value().find("fsync " + folder.path().toStdString()), std::string::npos) << replaced.value();
    EXPECT_EQ(Read(archive), "new");
    EXPECT_EQ(Read(Kept("010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2026-03-09_184530.std")), "earlier");
}

TEST_F(HistoryTest, LinksWhereFoldersAreExpectedAreLeftAloneAndNamed)
{
    namespace fs = std::filesystem;
    QTemporaryDir elsewhere;
    const QString others = QDir(elsewhere.path()).filePath("lain");
    QDir(elsewhere.path()).mkpath("lain");
    Write(QDir(others).filePath("data.txt"), "someone's");
    // A dead run's lock in the folder a link points at, and in the backup
    // folder itself, which a link to "." would hand to the clean-up.
    for (const QString& lockFolder : {others, folder.path()}) {
        QLockFile stale(QDir(lockFolder).filePath("owner.lock"));
        ASSERT_TRUE(stale.lock());
        stale.unlock();
        Write(QDir(lockFolder).filePath("owner.lock"), "999999\nPelantra\n\n");
    }
    fs::create_directory_symlink(others.toStdString(), Path(".pelantra-x").toStdString());
    fs::create_directory_symlink(".", Path(".pelantra-self").toStdString());
    Write(archive, "earlier");
    Write(Path("lain.std"), "another school's");
    // Riwayat points elsewhere: nothing is kept or pruned there.
    fs::create_directory_symlink(others.toStdString(), Path(kHistoryFolder).toStdString());
    Write(QDir(others).filePath("010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2020-01-01_0000.std"), "someone's");

    const Result<std::string> replaced = Backup("new", 0);
    ASSERT_TRUE(replaced.ok()) << replaced.failure().detail;
    Result<std::string> again = Backup("newer", 5);
    ASSERT_TRUE(again.ok()) << again.failure().detail;
    EXPECT_EQ(Read(archive), "newer");
    EXPECT_EQ(Read(Path("lain.std")), "another school's");
    EXPECT_EQ(Read(QDir(others).filePath("data.txt")), "someone's");
    EXPECT_EQ(Names(QDir(others).entryList(QDir::Files)),
              Names({"010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2020-01-01_0000.std", "data.txt", "owner.lock"}));
    EXPECT_TRUE(QFileInfo(Path(".pelantra-x")).isSymLink());
    EXPECT_TRUE(QFileInfo(Path(".pelantra-self")).isSymLink());
    EXPECT_NE(again.value().find("Arsip lama tidak dapat disimpan di folder Riwayat: Riwayat adalah tautan"),
              std::string::npos)
        << again.value();
    EXPECT_NE(again.value().find("Tautan di folder tujuan dibiarkan: .pelantra-self, .pelantra-x"), std::string::npos)
        << again.value();

    // In a real Riwayat, a link named as a kept copy is neither followed nor removed.
    ASSERT_TRUE(QFile::remove(Path(kHistoryFolder)));
    QDir(folder.path()).mkdir(kHistoryFolder);
    const QString linked = Kept("010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2019-01-01_000000.std");
    fs::create_symlink(QDir(others).filePath("data.txt").toStdString(), linked.toStdString());
    again = Backup("newest", 1);
    ASSERT_TRUE(again.ok()) << again.failure().detail;
    EXPECT_TRUE(QFileInfo(linked).isSymLink());
    EXPECT_EQ(Read(QDir(others).filePath("data.txt")), "someone's");
    EXPECT_NE(
        again.value().find("Arsip lama di folder Riwayat tidak dapat dihapus: tautan bernama arsip lama dibiarkan"),
        std::string::npos)
        << again.value();
}

TEST_F(HistoryTest, ACopyStandsInWhereNoLinkCanBeMade)
{
    Write(archive, "earlier", Local(9, 18, 45));
    const QString scratch = Path("scratch");
    QDir(folder.path()).mkdir("scratch");
    const QString name = "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2026-03-09_184530%1.std";
    for (const KeepBy how : {KeepBy::LinkOrCopy, KeepBy::CopyOnly}) {
        const Result<QString> kept = KeepEarlierArchive(archive, scratch, how);
        ASSERT_TRUE(kept.ok()) << kept.failure().reason;
        // The second beside the first: a name of its own.
        EXPECT_EQ(kept.value().toStdString(), Kept(name.arg(how == KeepBy::CopyOnly ? "_2" : "")).toStdString());
        EXPECT_EQ(Read(kept.value()), "earlier");
        // A link is the archive's own file; a copy is a file of its own.
        EXPECT_EQ(std::filesystem::equivalent(archive.toStdString(), kept.value().toStdString()),
                  how == KeepBy::LinkOrCopy);
    }
    EXPECT_EQ(Names(QDir(scratch).entryList(QDir::Files)), "") << "the copy was moved, not left";
}

TEST_F(HistoryTest, AHistoryThatCannotBeKeptLeavesTheBackupDoneWithOneLineWhy)
{
    Write(archive, "earlier");
    // A file where the folder belongs.
    Write(Path(kHistoryFolder), "a file of the operator's");
    const Result<std::string> replaced = Backup("new", 5);
    ASSERT_TRUE(replaced.ok()) << replaced.failure().detail;
    // In Indonesian on its line; the path in the details below it.
    EXPECT_EQ(replaced.value().substr(0, replaced.value().find('\n')),
              "Arsip lama tidak dapat disimpan di folder Riwayat: ada berkas bernama Riwayat, bukan folder");
    EXPECT_NE(replaced.value().find(Path(kHistoryFolder).toStdString()), std::string::npos);
    EXPECT_EQ(Read(archive), "new");
    EXPECT_EQ(Read(Path(kHistoryFolder)), "a file of the operator's");
}

} // namespace
} // namespace pelantra
