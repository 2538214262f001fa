#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/archive_grammar.h"
#include "backup/dump_rewriter.h"
#include "core/result.h"
#include "tools/tool_run.h"

namespace pelantra {

// What the stream from the database to the archive did.
struct StreamRun {
    Status status;
    std::uint64_t bytes = 0; // rewritten bytes the archiver took
    DumpFacts facts; // of the rewritten dump, as a check of the archive reads it
    std::string exportOutput; // the dump tool's messages, "pg_dump" reading "export"
    std::string archiverOutput;
};

// Runs the dump tool, whose standard output is the dump, and the archiver,
// whose standard input takes the rewritten dump, side by side: nothing of the
// dump is written to a file. Fails when either tool cannot start, the dump
// tool does not exit with 0, the rewrite rejects the dump, the rewritten
// dump holds what a check of the archive refuses (ArchiveGrammar), or the archiver
// stops taking input, dies or exits with 2 or more; then both tools are
// stopped. Every wait is bounded by `watch`; its growing file is the archive.
// `dumpEnded` is called once the dump tool is done, while the archiver may
// still be compressing.
StreamRun StreamDump(const ToolCommand& exporter, const ToolCommand& archiver, const ColumnLists& columns,
                     const ToolWatch& watch, const std::function<void()>& dumpEnded = {});

} // namespace pelantra
