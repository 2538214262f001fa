#include "backup/dump_rewriter.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>

#include "archive/sql_lexer.h"
#include "archive/staged_tables.h"
#include "backup/messages.h"

namespace pelantra {
namespace {

constexpr std::size_t kChunkSize = 1 << 16;
// Look-ahead kept at the start of a statement line: enough for the longest
// prefix acted upon ("INSERT INTO \"tmpx\".\"<table>\" VALUES", a title line).
constexpr std::size_t kHeadCap = 256;
// Blank text held after the last setting while waiting to see whether the
// settings block goes on. Beyond this the block is closed.
constexpr std::size_t kHeldCap = 4096;
constexpr std::size_t kOutFlush = 1 << 16;

constexpr std::string_view kTitle = "-- PostgreSQL database dump";
constexpr std::string_view kTitleComplete = "-- PostgreSQL database dump complete";
constexpr std::string_view kFirstSetting = "SET statement_timeout = 0";
constexpr std::string_view kInsertInto = "INSERT INTO ";
constexpr std::string_view kStandardStrings = "SET standard_conforming_strings = ";

bool IsBlankByte(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool IsSettingStart(std::string_view line)
{
    return line.starts_with("SET ") || line.starts_with("SELECT pg_catalog.set_config(");
}

bool IsStagedTable(std::string_view name)
{
    return std::find(kStagedTables.begin(), kStagedTables.end(), name) != kStagedTables.end();
}

} // namespace

// The rules act only where a statement begins at the start of a line; the
// lexer carries everything in between. Of the inputs followed here, pg_dump
// writes: the title comment lines, the settings block (SET statements and,
// since 2018, a set_config() call), \restrict and \unrestrict lines (since
// 2025), INSERT statements naming the table bare or in the staging schema, quoted
// where the name needs it, and '' values with doubled quotes that may span
// lines. The rest is defence against dumps it does not write: backslash
// escapes (standard_conforming_strings off, E'' values), block comments,
// comments after a statement, and INSERTs that already carry a column list.
class DumpRewriter::Rules {
public:
    Rules(const ColumnLists& columns, DumpSink sink) : columns_(columns), sink_(std::move(sink))
    {
        lexer_.SetLiteralStops(true);
        out_.reserve(kOutFlush + kHeadCap + 64);
    }

    Status Feed(const char* p, const char* end)
    {
        while (p < end) {
            if (!collecting_) {
                Pass(p, end);
                continue;
            }
            const std::size_t room = kHeadCap - head_.size();
            const std::size_t available = static_cast<std::size_t>(end - p);
            const void* lineEnd = std::memchr(p, '\n', std::min(available, room));
            const std::size_t take = lineEnd ? static_cast<const char*>(lineEnd) - p + 1 : std::min(available, room);
            head_.append(p, take);
            p += take;
            if (lineEnd || head_.size() == kHeadCap) {
                if (!HandleHead(false))
                    return Failed();
            }
        }
        return Ok();
    }

    Status Finish()
    {
        if (collecting_ && !head_.empty() && !HandleHead(true))
            return Failed();
        if (inLiteral_ && !lexer_.OpenToken())
            EmitLiteral(); // closed by the dump's last byte
        if (const char* token = lexer_.OpenToken())
            return Fail(std::string("dump ends inside ") + token);
        if (block_ == Block::Inside || block_ == Block::Holding)
            return Fail("dump ends inside the session settings block");
        if (!lexer_.BetweenStatements())
            return Fail("dump ends inside a statement");
        Flush();
        return Ok();
    }

    std::uint64_t written = 0;

private:
    // Where the settings block stands: not yet seen, inside a setting
    // statement, after a setting's ';' (holding the blank text that follows
    // until the next line shows whether the block goes on), closed.
    enum class Block { Before, Inside, Holding, After };

    Status Fail(std::string detail)
    {
        error_ = std::move(detail);
        return Failed();
    }
    Status Failed() const { return Failure{kRewriteFailed, error_}; }
    Status Ok() const { return writeFailed_ ? Failed() : Status(); }

    void Emit(std::string_view s)
    {
        out_.append(s);
        if (out_.size() >= kOutFlush)
            Flush();
    }

    void Flush()
    {
        if (out_.empty() || writeFailed_)
            return;
        if (!sink_(out_)) {
            writeFailed_ = true;
            error_ = "write error";
        }
        written += out_.size();
        out_.clear();
    }

    // A '...' value, quotes and all, that holds a backslash becomes an
    // E'...' value with each backslash doubled: it then reads the same where
    // the restoring server has standard_conforming_strings on and where it
    // has it off. Any other value goes as it came.
    void EmitLiteral()
    {
        inLiteral_ = false;
        std::size_t backslash = literal_.find('\\');
        if (backslash == std::string::npos) {
            Emit(literal_);
            return;
        }
        Emit("E");
        std::size_t from = 0;
        for (; backslash != std::string::npos; backslash = literal_.find('\\', from)) {
            Emit(std::string_view(literal_).substr(from, backslash + 1 - from));
            Emit("\\");
            from = backslash + 1;
        }
        Emit(std::string_view(literal_).substr(from));
    }

    void CloseBlock()
    {
        Emit("*/");
        Emit(held_);
        held_.clear();
        block_ = Block::After;
    }

    // Follows bytes through the lexer and emits them, until `end` or until a
    // line starts at a statement boundary (then that line is collected).
    void Pass(const char*& p, const char* end)
    {
        while (p < end && !collecting_) {
            if (block_ == Block::Holding) {
                Hold(p, end);
                continue;
            }
            SqlLexer::Stop stop;
            const char* upto = lexer_.Scan(p, end, stop);
            const std::string_view run(p, static_cast<std::size_t>(upto - p));
            p = upto;
            if (inLiteral_)
                literal_.append(run);
            else if (stop == SqlLexer::Stop::LiteralOpen)
                Emit(run.substr(0, run.size() - 1));
            else
                Emit(run);
            if (stop == SqlLexer::Stop::LiteralOpen) {
                inLiteral_ = true;
                literal_.assign(1, '\'');
            } else if (stop == SqlLexer::Stop::LiteralClose) {
                EmitLiteral();
            } else if (stop == SqlLexer::Stop::StatementEnd && inSetting_) {
                inSetting_ = false;
                if (block_ == Block::Inside)
                    block_ = Block::Holding;
            } else if (stop == SqlLexer::Stop::StatementLine) {
                collecting_ = true;
            }
        }
    }

    // After a setting's ';': blank text is held back, so that "*/" can still
    // go right after that ';' if no setting follows.
    void Hold(const char*& p, const char* end)
    {
        const char* q = p;
        while (q < end && IsBlankByte(*q) && *q != '\n')
            ++q;
        if (q < end && *q == '\n')
            ++q;
        SqlLexer::Stop stop;
        const char* upto = lexer_.Scan(p, q, stop); // blanks only move the line start
        held_.append(p, upto);
        p = upto;
        if (stop == SqlLexer::Stop::StatementLine)
            collecting_ = true;
        else if (p < end)
            CloseBlock(); // something other than blank text follows on the line
        if (block_ == Block::Holding && held_.size() > kHeldCap)
            CloseBlock();
    }

    // Runs the look-ahead, from `from` on, through the lexer unchanged.
    void PassHead(std::size_t from = 0)
    {
        std::string work;
        work.swap(head_);
        collecting_ = false;
        const char* p = work.data() + from;
        Pass(p, work.data() + work.size());
        work.clear();
        head_.swap(work);
    }

    // Decides what to do with a line that starts at a statement boundary,
    // held in head_ (complete up to its '\n', or cut at kHeadCap, or at EOF).
    bool HandleHead(bool atEof)
    {
        const std::string_view h = head_;
        const bool complete = atEof || h.back() == '\n';
        std::string_view body = h;
        if (complete && !body.empty() && body.back() == '\n')
            body.remove_suffix(1);
        if (complete && !body.empty() && body.back() == '\r')
            body.remove_suffix(1);

        if (block_ == Block::Holding) {
            if (complete && std::all_of(h.begin(), h.end(), IsBlankByte)) {
                PassHead();
                return true;
            }
            if (IsSettingStart(h)) {
                Emit(held_);
                held_.clear();
                block_ = Block::Inside;
            } else {
                CloseBlock();
            }
        }

        if (h.starts_with(kStandardStrings)) {
            const std::string_view value = h.substr(kStandardStrings.size());
            if (value.starts_with("off"))
                lexer_.SetBackslashEscapes(true);
            else if (value.starts_with("on"))
                lexer_.SetBackslashEscapes(false);
        }

        if (complete && (body == kTitle || body == kTitleComplete)) {
            Emit(kDumpTitle);
            Emit(h.substr(kTitle.size()));
            head_.clear();
            return true;
        }
        if (h.front() == '\\') {
            Emit("-- ");
            lexer_.StartLineComment();
            PassHead();
            return true;
        }
        if (block_ == Block::Before && h.starts_with(kFirstSetting)) {
            Emit("/*");
            block_ = Block::Inside;
        }
        if (block_ == Block::Inside) {
            inSetting_ = true;
            PassHead();
            return true;
        }
        if (h.starts_with(kInsertInto))
            return HandleInsert(h);
        PassHead();
        return true;
    }

    bool HandleInsert(std::string_view h)
    {
        std::size_t pos = kInsertInto.size();
        std::string first, table;
        if (!ReadName(h, pos, first)) {
            PassHead();
            return true;
        }
        if (pos < h.size() && h[pos] == '.') {
            ++pos;
            if (first != kStagingSchema || !ReadName(h, pos, table)) {
                PassHead(); // another schema's table: not ours to touch
                return true;
            }
        } else {
            table = std::move(first);
        }
        if (!IsStagedTable(table)) {
            PassHead();
            return true;
        }
        const std::string_view rest = h.substr(pos);
        std::string_view list;
        if (rest.starts_with(" VALUES")) {
            const auto found = columns_.find(table);
            if (found == columns_.end() || found->second.size() < 3 || found->second.front() != '(') {
                error_ = "no column list for table " + table;
                return false;
            }
            list = found->second;
        } else if (!rest.starts_with(" (")) {
            // " (" means the dump already names its columns; anything else
            // cannot be given a list safely.
            error_ = "unexpected INSERT form for table " + table;
            return false;
        }
        // The lexer follows the replaced name too, so that its state is the
        // one the original text leaves.
        SqlLexer::Stop stop;
        lexer_.Scan(h.data(), h.data() + pos, stop);
        Emit(kInsertInto);
        Emit(table);
        Emit(list);
        PassHead(pos);
        return true;
    }

    const ColumnLists& columns_;
    DumpSink sink_;
    SqlLexer lexer_;
    std::string out_;
    std::string head_;
    std::string held_;
    std::string error_;
    Block block_ = Block::Before;
    bool collecting_ = true;
    bool inSetting_ = false;
    bool writeFailed_ = false;
    bool inLiteral_ = false;
    std::string literal_; // the '...' value under way, from its opening quote
};

DumpRewriter::DumpRewriter(const ColumnLists& columns, DumpSink sink)
    : rules_(std::make_unique<Rules>(columns, std::move(sink)))
{
}

DumpRewriter::~DumpRewriter() = default;

Status DumpRewriter::Feed(std::string_view piece)
{
    return rules_->Feed(piece.data(), piece.data() + piece.size());
}

Status DumpRewriter::Finish()
{
    return rules_->Finish();
}

std::uint64_t DumpRewriter::BytesWritten() const
{
    return rules_->written;
}

Status RewriteDump(std::istream& in, std::ostream& out, const ColumnLists& columns)
{
    DumpRewriter rewriter(columns, [&out](std::string_view piece) {
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        return static_cast<bool>(out);
    });
    std::string buffer(kChunkSize, '\0');
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n == 0)
            break;
        if (Status fed = rewriter.Feed(std::string_view(buffer.data(), n)); !fed.ok())
            return fed;
    }
    if (in.bad())
        return Failure{kRewriteFailed, "read error"};
    if (Status finished = rewriter.Finish(); !finished.ok())
        return finished;
    out.flush();
    if (!out)
        return Failure{kRewriteFailed, "write error"};
    return {};
}

} // namespace pelantra
