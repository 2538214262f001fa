#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "backup/export.h"
#include "backup/staged_tables.h"

namespace pelantra {
namespace {

const QByteArray kHead =
    "--\n-- PostgreSQL database dump\n--\n\nSET statement_timeout = 0;\nSET row_security = off;\n\n";

ColumnLists Lists()
{
    ColumnLists lists;
    for (std::string_view table : kStagedTables)
        lists[std::string(table)] = "(a,b)";
    return lists;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(RewriteDumpFile, FolderWithANonAsciiName)
{
    QTemporaryDir root;
    const QString folder = root.filePath(QString::fromUtf8("Cadangan Śarīfah Müller"));
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteFile(folder + "/raw.sql", kHead + "INSERT INTO tmpx.ptk VALUES (1, 2);\n");

    const Status rewritten =
        RewriteDumpFile((folder + "/raw.sql").toStdString(), (folder + "/kartesa2014.sql").toStdString(), Lists());
    ASSERT_TRUE(rewritten.ok()) << rewritten.failure().detail;
    QFile out(folder + "/kartesa2014.sql");
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_TRUE(out.readAll().endsWith("INSERT INTO ptk(a,b) VALUES (1, 2);\n"));
}

TEST(RewriteDumpFile, LeavesNoTargetOnFailure)
{
    QTemporaryDir dir;
    const QByteArray cut = kHead + "INSERT INTO tmpx.ptk VALUES ('cut";
    WriteFile(dir.filePath("cut.sql"), cut);
    const std::string from = dir.filePath("cut.sql").toStdString();
    EXPECT_FALSE(RewriteDumpFile(from, dir.filePath("out.sql").toStdString(), Lists()).ok());
    EXPECT_FALSE(QFile::exists(dir.filePath("out.sql")));
    EXPECT_FALSE(RewriteDumpFile(from, from, Lists()).ok());
    QFile kept(dir.filePath("cut.sql"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), cut);
}

} // namespace
} // namespace pelantra
