#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <utility>
#include <vector>

namespace pelantra {

// A working folder for one test, made the current directory for the test's
// lifetime: a setting.ini with the sandbox's port, and an installation root
// whose pgsql/bin/pg_dump and php/7za lead to the machine's programs.
class WorkFolder {
public:
    // Machine: the tools are the machine's own. StandIns: they are the
    // stand-ins of tests/stand-ins, which run the machine's own unless told
    // to misbehave (FAKE_PG_DUMP, FAKE_7ZA).
    enum class Tools { Machine, StandIns };

    explicit WorkFolder(const std::string& port, Tools tools = Tools::Machine);
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    std::string Path() const;
    std::string ToolsPath() const;
    // Rewrites setting.ini, e.g. to point at a broken installation root.
    void WriteSettings(const std::string& port, const std::string& basedir) const;

private:
    QTemporaryDir dir_;
    QString previousCurrent_;
};

// The pg_dump of the newest installed server version, and 7za.
std::string MachinePgDump();
std::string MachineArchiver();

// The whole of kartesa2014.sql in a backup archive, opened with the password.
std::string ExtractMember(const std::string& archive);

// An archive like the program's, holding `members` (name, content); the
// archiver's `switches` may make it another.
void PackArchive(const std::string& archive, const std::vector<std::pair<QString, std::string>>& members,
                 const char* password = "-ptiupanbatur", const QStringList& switches = {});

// Harm done to an archive file: four bytes flipped in the middle of its
// packed data, its last hundred bytes cut off, or text put in its place.
enum class ArchiveDamage { None, FlippedBytes, CutShort, TextInstead };
void DamageArchive(const std::string& archive, ArchiveDamage damage);

} // namespace pelantra
