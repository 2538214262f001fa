// dump_rewrite_rss gen <file> <MB> old|modern   writes a generated dump
// dump_rewrite_rss rewrite <from> <to>           streams the rewrite
// dump_rewrite_rss baseline <from> <to>          whole-text replacements
// The two last print the peak resident memory of the process in KiB.

#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "backup/dump_rewriter.h"
#include "dump_gen.h"

namespace {

long PeakKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace pelantra;
    if (argc == 5 && std::strcmp(argv[1], "gen") == 0) {
        std::ofstream out(argv[2], std::ios::binary);
        GenerateDump(out, std::strtoull(argv[3], nullptr, 10) << 20, std::strcmp(argv[4], "modern") == 0);
        return out ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "rewrite") == 0) {
        std::ifstream in(argv[2], std::ios::binary);
        std::ofstream out(argv[3], std::ios::binary);
        const Status r = RewriteDump(in, out, GeneratedColumnLists());
        if (!r.ok()) {
            std::cerr << r.failure().detail << "\n";
            return 1;
        }
        std::cout << PeakKiB() << "\n";
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "baseline") == 0) {
        std::ifstream in(argv[2], std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        const std::string out = literal::Rewrite(text.str(), GeneratedColumnLists());
        std::ofstream(argv[3], std::ios::binary) << out;
        std::cout << PeakKiB() << "\n";
        return 0;
    }
    std::cerr << "usage: dump_rewrite_rss gen <file> <MB> old|modern | rewrite|baseline <from> <to>\n";
    return 2;
}
