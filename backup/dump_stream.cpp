#include "backup/dump_stream.h"

#include <QElapsedTimer>

#include <optional>

#include "backup/backup_outcome.h"
#include "backup/export.h"
#include "backup/messages.h"
#include "core/platform.h"
#include "tools/tools.h"

namespace pelantra {
namespace {

// Rewritten bytes waiting for the archiver beyond this make the stream wait.
constexpr qint64 kPendingBytes = 1 << 20;

// Both tools and the bookkeeping of one stream.
class Stream {
public:
    Stream(const ToolCommand& exporter, const ToolCommand& archiver, const ColumnLists& columns, const ToolWatch& watch,
           const std::function<void()>& dumpEnded)
        : exporter_(exporter),
          archiver_(archiver),
          watch_(watch),
          dumpEnded_(dumpEnded),
          dump_(exporter, ToolProcess::Channels::Separate),
          pack_(archiver, ToolProcess::Channels::Merged),
          rewriter_(columns, [this](std::string_view piece) { return Allowed(piece) && Deliver(piece, kPendingBytes); })
    {
        timer_.start();
    }

    StreamRun Run()
    {
        StreamRun run;
        run.status = Pump();
        run.exportOutput = ExportOutputText(dump_.Stop(ToolResult::Ending::Stopped).output);
        run.archiverOutput = pack_.Stop(ToolResult::Ending::Stopped).output;
        run.bytes = rewriter_.BytesWritten();
        run.facts = grammar_.Facts();
        return run;
    }

private:
    Status Pump()
    {
        if (!dump_.Started())
            return Failure{ToolCannotStart("export", exporter_.program),
                           ExportDetail(dump_.Stop(ToolResult::Ending::Stopped), exporter_.program)};
        if (!pack_.Started())
            return Failure{ToolCannotStart("pengarsip", archiver_.program),
                           pack_.Stop(ToolResult::Ending::Stopped).Detail(archiver_.program)};
        Status fed;
        const auto feed = [this, &fed](std::string_view piece) {
            fed = rewriter_.Feed(dumpOutput_.Take(piece));
            return fed.ok();
        };
        switch (dump_.ReadOutput(watch_, feed, [this] { return Forwarded() | pack_.CollectMessages(); })) {
        case ToolProcess::Reading::Ended:
            break;
        case ToolProcess::Reading::Refused:
            return deliveryFailure_ ? *deliveryFailure_ : fed;
        case ToolProcess::Reading::StopRequested:
            return Failure{kStoppedReason, {}, FailureKind::Stopped};
        case ToolProcess::Reading::Stalled:
            return Failure{kExportStalled, ExportDetail(dump_.Stop(ToolResult::Ending::Stalled), exporter_.program)};
        }

        const ToolResult dumped = dump_.Finish(watch_);
        if (!dumped.ExitedWith(0))
            return ExportFailure(dumped, exporter_.program);
        if (Status fed = rewriter_.Feed(dumpOutput_.Finish()); !fed.ok())
            return deliveryFailure_ ? *deliveryFailure_ : fed;
        if (Status finished = rewriter_.Finish(); !finished.ok())
            return deliveryFailure_ ? *deliveryFailure_ : finished;
        if (Status whole = grammar_.Finish(); !whole.ok())
            return whole;
        if (!Deliver({}, 0))
            return *deliveryFailure_;
        pack_.Process().closeWriteChannel();
        if (dumpEnded_)
            dumpEnded_();
        const ToolResult packed = pack_.Finish(watch_);
        if (!packed.ExitedWith(0) && !packed.ExitedWith(1)) // 1: a warning only
            return Failure{kArchiveNotMade, packed.Detail(archiver_.program)};
        return {};
    }

    // Only what a check of the archive will let through goes into it.
    bool Allowed(std::string_view piece)
    {
        if (Status allowed = grammar_.Feed(piece); !allowed.ok()) {
            deliveryFailure_ = allowed.failure();
            return false;
        }
        return true;
    }

    // Hands bytes to the archiver and waits while more than `pending` bytes
    // are still on their way.
    bool Delivered(qint64 pending)
    {
        QProcess& pack = pack_.Process();
        while (pack.bytesToWrite() > pending) {
            if (pack.state() == QProcess::NotRunning)
                return Undelivered(kArchiveNotMade, pack_.Finish(watch_));
            if (watch_.StopRequested())
                return Undelivered(kStoppedReason, pack_.Stop(ToolResult::Ending::Stopped), FailureKind::Stopped);
            const qint64 before = pack.bytesToWrite();
            pack.waitForBytesWritten(kSliceMs);
            if (pack_.CollectMessages() || pack.bytesToWrite() < before)
                Progressed();
            else if (Stalled())
                return Undelivered(kArchiverStalled, pack_.Stop(ToolResult::Ending::Stalled));
        }
        return true;
    }

    // Hands the archiver what its input pipe takes now, so that it does not
    // wait for bytes that are here while the export is waited for.
    bool Forwarded()
    {
        QProcess& pack = pack_.Process();
        const qint64 before = pack.bytesToWrite();
        while (pack.bytesToWrite() > 0 && pack.waitForBytesWritten(0)) {
        }
        return pack.bytesToWrite() < before;
    }

    bool Deliver(std::string_view piece, qint64 pending)
    {
        Progressed(); // the bytes came
        if (!piece.empty() && pack_.Process().write(piece.data(), static_cast<qint64>(piece.size())) < 0)
            return Undelivered(kArchiveNotMade, pack_.Stop(ToolResult::Ending::Crashed));
        return Delivered(pending);
    }

    bool Undelivered(const char* reason, const ToolResult& run, FailureKind kind = FailureKind::Other)
    {
        deliveryFailure_ = Failure{reason, run.Detail(archiver_.program), kind};
        return false;
    }

    void Progressed() { timer_.restart(); }
    bool Stalled() const { return timer_.elapsed() > watch_.stallLimit.count(); }

    const ToolCommand& exporter_;
    const ToolCommand& archiver_;
    const ToolWatch& watch_;
    const std::function<void()>& dumpEnded_;
    ToolProcess dump_;
    ToolProcess pack_;
    ProgramOutput dumpOutput_;
    DumpRewriter rewriter_;
    ArchiveGrammar grammar_;
    QElapsedTimer timer_;
    std::optional<Failure> deliveryFailure_;
};

} // namespace

StreamRun StreamDump(const ToolCommand& exporter, const ToolCommand& archiver, const ColumnLists& columns,
                     const ToolWatch& watch, const std::function<void()>& dumpEnded)
{
    Stream stream(exporter, archiver, columns, watch, dumpEnded);
    return stream.Run();
}

} // namespace pelantra
