// Throughput of the streaming rewrite against the whole-text chain of
// sixteen replacements, on generated dumps of 10 and 100 MB in both shapes;
// and of the check of what an archive may hold, on the rewritten dumps.

#include <benchmark/benchmark.h>

#include <istream>
#include <map>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>

#include "archive/archive_grammar.h"
#include "backup/dump_rewriter.h"
#include "dump_gen.h"

namespace pelantra {
namespace {

// Reads from memory without copying.
class MemoryBuf : public std::streambuf {
public:
    explicit MemoryBuf(const std::string& s)
    {
        char* p = const_cast<char*>(s.data());
        setg(p, p, p + s.size());
    }
};

// Swallows the output, as a fast disk would.
class NullBuf : public std::streambuf {
protected:
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
    int overflow(int c) override { return traits_type::not_eof(c); }
};

const std::string& Dump(std::size_t mb, bool modern)
{
    static std::map<std::pair<std::size_t, bool>, std::string> cache;
    auto& d = cache[{mb, modern}];
    if (d.empty()) {
        std::ostringstream out;
        GenerateDump(out, mb << 20, modern);
        d = out.str();
    }
    return d;
}

void Rewrite(benchmark::State& state, std::size_t mb, bool modern)
{
    const std::string& dump = Dump(mb, modern);
    const ColumnLists lists = GeneratedColumnLists();
    for (auto _ : state) {
        MemoryBuf inBuf(dump);
        NullBuf outBuf;
        std::istream in(&inBuf);
        std::ostream out(&outBuf);
        const Status r = RewriteDump(in, out, lists);
        if (!r.ok())
            state.SkipWithError(r.failure().detail.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(dump.size()));
}

// The check as an archive is read: pieces of 64 KiB, every row parsed.
void Check(benchmark::State& state, std::size_t mb, bool modern)
{
    std::ostringstream rewritten;
    MemoryBuf inBuf(Dump(mb, modern));
    std::istream in(&inBuf);
    if (const Status r = RewriteDump(in, rewritten, GeneratedColumnLists()); !r.ok())
        state.SkipWithError(r.failure().detail.c_str());
    const std::string dump = rewritten.str();
    constexpr std::size_t kPiece = 1 << 16;
    for (auto _ : state) {
        std::uint64_t values = 0;
        ArchiveGrammar grammar([&values](const ArchiveRow& row) {
            values += row.values.size();
            return Status();
        });
        Status fed;
        for (std::size_t at = 0; at < dump.size() && fed.ok(); at += kPiece)
            fed = grammar.Feed(std::string_view(dump).substr(at, kPiece));
        if (fed.ok())
            fed = grammar.Finish();
        if (!fed.ok())
            state.SkipWithError(fed.failure().detail.c_str());
        benchmark::DoNotOptimize(values);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(dump.size()));
}

void Baseline(benchmark::State& state, std::size_t mb, bool modern)
{
    const std::string& dump = Dump(mb, modern);
    const ColumnLists lists = GeneratedColumnLists();
    for (auto _ : state) {
        std::string out = literal::Rewrite(dump, lists);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(dump.size()));
}

const bool kRegistered = [] {
    for (bool modern : {false, true}) {
        for (std::size_t mb : {10u, 100u}) {
            const std::string tag = std::string(modern ? "modern" : "old") + "/" + std::to_string(mb) + "MB";
            benchmark::RegisterBenchmark(("rewrite/" + tag).c_str(), Rewrite, mb, modern)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(1.0);
            benchmark::RegisterBenchmark(("baseline/" + tag).c_str(), Baseline, mb, modern)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(1.0);
            benchmark::RegisterBenchmark(("check/" + tag).c_str(), Check, mb, modern)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(1.0);
        }
    }
    return true;
}();

} // namespace
} // namespace pelantra

BENCHMARK_MAIN();
