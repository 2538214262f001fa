#include "support/work_folder.h"

#include <QDir>
#include <QFile>
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

WorkFolder::WorkFolder(const std::string& port) : previousCurrent_(QDir::currentPath())
{
    EXPECT_TRUE(dir_.isValid());
    QDir root(dir_.path());
    EXPECT_TRUE(root.mkpath("tools/pgsql/bin") && root.mkpath("tools/php"));
    EXPECT_TRUE(QFile::link(QString::fromStdString(MachinePgDump()), root.filePath("tools/pgsql/bin/pg_dump")));
    EXPECT_TRUE(QFile::link(QString::fromStdString(MachineArchiver()), root.filePath("tools/php/7za")));
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
