#include "support/work_folder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace pelantra {

std::string MachinePgDump()
{
    QDir versions("/usr/lib/postgresql");
    QStringList names = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    for (auto it = names.crbegin(); it != names.crend(); ++it) {
        const QString candidate = versions.filePath(*it + "/bin/pg_dump");
        if (QFile::exists(candidate))
            return candidate.toStdString();
    }
    return QStandardPaths::findExecutable("pg_dump").toStdString();
}

std::string MachineArchiver()
{
    return QStandardPaths::findExecutable("7za").toStdString();
}

std::string ExtractMember(const std::string& archive)
{
    QProcess sevenZip;
    sevenZip.start(QString::fromStdString(MachineArchiver()),
                   {"x", "-so", "-ptiupanbatur", QString::fromStdString(archive), "kartesa2014.sql"});
    sevenZip.waitForFinished(-1);
    EXPECT_TRUE(sevenZip.exitStatus() == QProcess::NormalExit && sevenZip.exitCode() == 0)
        << sevenZip.readAllStandardError().toStdString();
    return sevenZip.readAllStandardOutput().toStdString();
}

void PackArchive(const std::string& archive, const std::vector<std::pair<QString, std::string>>& members,
                 const char* password, const QStringList& switches)
{
    QTemporaryDir dir;
    QStringList arguments = QStringList{"a", QString::fromStdString(archive), password} + switches;
    for (const auto& [name, content] : members) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), static_cast<qint64>(content.size()));
        arguments << dir.filePath(name);
    }
    QFile::remove(QString::fromStdString(archive));
    ASSERT_EQ(QProcess::execute(QString::fromStdString(MachineArchiver()), arguments), 0);
}

void DamageArchive(const std::string& archive, ArchiveDamage damage)
{
    if (damage == ArchiveDamage::None)
        return;
    QFile file(QString::fromStdString(archive));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const qint64 size = file.size();
    switch (damage) {
    case ArchiveDamage::FlippedBytes:
        ASSERT_TRUE(file.seek(size / 2));
        file.write("\xff\xff\xff\xff", 4);
        break;
    case ArchiveDamage::CutShort:
        ASSERT_TRUE(file.resize(size - 100));
        break;
    case ArchiveDamage::TextInstead:
        ASSERT_TRUE(file.resize(0));
        file.write("Ini bukan arsip.\n");
        break;
    case ArchiveDamage::None:
        break;
    }
}

WorkFolder::WorkFolder(const std::string& port, Tools tools) : previousCurrent_(QDir::currentPath())
{
    EXPECT_TRUE(dir_.isValid());
    QDir root(dir_.path());
    EXPECT_TRUE(root.mkpath("tools/pgsql/bin") && root.mkpath("tools/php"));
    QString pgDump = QString::fromStdString(MachinePgDump());
    QString archiver = QString::fromStdString(MachineArchiver());
    if (tools == Tools::StandIns) {
        qputenv("REAL_PG_DUMP", pgDump.toUtf8());
        qputenv("REAL_7ZA", archiver.toUtf8());
        pgDump = PELANTRA_SOURCE_DIR "/tests/stand-ins/pg_dump";
        archiver = PELANTRA_SOURCE_DIR "/tests/stand-ins/7za";
    }
    EXPECT_TRUE(QFile::link(pgDump, root.filePath("tools/pgsql/bin/pg_dump")));
    EXPECT_TRUE(QFile::link(archiver, root.filePath("tools/php/7za")));
    WriteSettings(port, ToolsPath());
    QDir::setCurrent(dir_.path());
}

WorkFolder::~WorkFolder()
{
    QDir::setCurrent(previousCurrent_);
}

std::string WorkFolder::Path() const
{
    return dir_.path().toStdString();
}

std::string WorkFolder::ToolsPath() const
{
    return dir_.filePath("tools").toStdString();
}

void WorkFolder::WriteSettings(const std::string& port, const std::string& basedir) const
{
    QFile settings(dir_.filePath("setting.ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(("DefDBPort=" + port + "\r\nbasedir=" + basedir + "\r\n").c_str());
}

} // namespace pelantra
