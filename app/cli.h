#pragma once

#include <iosfwd>

namespace pelantra {

// The headless program: "schools" lists the schools as the window would,
// "backup <sekolah_id> <folder>" runs one backup, "backup --all <folder>"
// one for every listed school, "verify [--replay] <archive>" checks what an
// archive holds and, with --replay, that it restores. Exit codes: 0 done,
// 1 failed (also when interrupted, after cleaning up), 2 usage error. Each
// step of a backup is printed as it starts; with `timedSteps` (a person
// reads the output) the seconds it took follow it.
int RunCli(int argc, const char* const argv[], std::ostream& out, std::ostream& err, bool timedSteps = false);

} // namespace pelantra
