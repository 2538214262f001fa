#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <string>

#include "backup/archive.h"
#include "backup/archive_history.h"
#include "support/files.h"

namespace pelantra {
namespace {

class HistoryTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return QDir(folder.path()).filePath(name); }
    QString Kept(const QString& name) const { return QDir(folder.path()).filePath(QString(kHistoryFolder) + "/" + name); }

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

    // One backup's replace of the archive by `bytes`.
    Result<std::string> Backup(const std::string& bytes, int keepCopies) const
    {
        ArchiveDraft draft(archive.toStdString());
        EXPECT_TRUE(draft.Ready().ok());
        Write(QString::fromStdString(draft.Path()), bytes);
        return draft.Replace(keepCopies);
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
                                 "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu.std", "catatan.txt"};
    for (const QString& name : foreign)
        Write(Kept(name), "operator's");
    Write(Path("lain.std"), "operator's");
    // An older kept copy of this school, from before: the first to go.
    Write(Kept("010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2019-12-31_2359.std"), "v0");

    for (int version = 2; version <= 4; ++version) {
        SCOPED_TRACE(version);
        QFile earlier(archive);
        ASSERT_TRUE(earlier.open(QIODevice::ReadWrite));
        ASSERT_TRUE(earlier.setFileTime(Local(version, 7, 5), QFileDevice::FileModificationTime));
        earlier.close();
        const std::string bytes = std::string("v").append(std::to_string(version));
        const Result<std::string> replaced = Backup(bytes, 2);
        ASSERT_TRUE(replaced.ok()) << replaced.failure().detail;
        EXPECT_EQ(replaced.value(), "");
        EXPECT_EQ(Read(archive), bytes);
        EXPECT_EQ(Read(Kept(QString("010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2026-03-0%1_0705.std").arg(version))),
                  std::string("v").append(std::to_string(version - 1)));
    }
    QStringList expected = foreign;
    expected << "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2026-03-03_0705.std"
             << "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2026-03-04_0705.std";
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
    expected.removeIf([](const QString& name) { return name.endsWith("_0705.std"); });
    EXPECT_EQ(History(), Names(expected));
}

TEST_F(HistoryTest, ACopyStandsInWhereNoLinkCanBeMade)
{
    Write(archive, "earlier", Local(9, 18, 45));
    const QString scratch = Path("scratch");
    QDir(folder.path()).mkdir("scratch");
    const QString name = "010101_Kab__Hulu_10100001_SD_Negeri_1_Hulu_2026-03-09_1845.std";
    for (const KeepBy how : {KeepBy::LinkOrCopy, KeepBy::CopyOnly}) {
        const Result<QString> kept = KeepEarlierArchive(archive, scratch, how);
        ASSERT_TRUE(kept.ok()) << kept.failure().reason;
        EXPECT_EQ(kept.value().toStdString(), Kept(name).toStdString());
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
    EXPECT_EQ(replaced.value().rfind("Arsip lama tidak dapat disimpan di folder Riwayat: ", 0), 0u) << replaced.value();
    EXPECT_EQ(replaced.value().find('\n'), std::string::npos);
    EXPECT_EQ(Read(archive), "new");
    EXPECT_EQ(Read(Path(kHistoryFolder)), "a file of the operator's");
}

} // namespace
} // namespace pelantra
