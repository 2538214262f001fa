#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "archive/messages.h"
#include "backup/messages.h"
#include "check/messages.h"
#include "core/messages.h"
#include "schedule/messages.h"
#include "support/files.h"
#include "tools/messages.h"
#include "ui/messages.h"

namespace pelantra {
namespace {

// The first cells of the table under "## Messages", one message per line of a cell.
std::set<std::string> ReadmeMessages()
{
    std::istringstream readme(ReadFile(PELANTRA_SOURCE_DIR "/README.md"));
    std::set<std::string> messages;
    bool inSection = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("## ", 0) == 0)
            inSection = line == "## Messages";
        if (!inSection || line.rfind("| ", 0) != 0 || line.rfind("| Message |", 0) == 0)
            continue;
        std::string cell = line.substr(2, line.find(" |", 2) - 2);
        for (std::size_t at; (at = cell.find("<br>")) != std::string::npos; cell.erase(0, at + 4))
            messages.insert(cell.substr(0, at));
        messages.insert(cell);
    }
    return messages;
}

TEST(Messages, TheReadmeTableListsExactlyTheDefinedMessages)
{
    std::set<std::string> defined;
    const auto add = [&](const auto& list) {
        for (const char* message : list) {
            std::string shown = message;
            for (std::size_t at; (at = shown.find("{}")) != std::string::npos;)
                shown.replace(at, 2, "...");
            defined.insert(shown);
        }
    };
    add(kCoreMessages);
    add(kToolMessages);
    add(kArchiveMessages);
    add(kCheckMessages);
    add(kBackupMessages);
    add(kScheduleMessages);
    add(kWindowMessages);
    const std::set<std::string> listed = ReadmeMessages();
    for (const std::string& message : defined)
        EXPECT_TRUE(listed.contains(message)) << "not in the README's table: " << message;
    for (const std::string& message : listed)
        EXPECT_TRUE(defined.contains(message)) << "in the README's table, but no message of the program: " << message;
}

} // namespace
} // namespace pelantra
