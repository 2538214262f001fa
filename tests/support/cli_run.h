#pragma once

#include <string>

namespace pelantra {

// How one run of pelantra-cli ended and what it wrote.
struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

} // namespace pelantra
