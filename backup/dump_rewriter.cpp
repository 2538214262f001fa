#include "backup/dump_rewriter.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <iterator>
#include <ostream>
#include <string_view>

#include "backup/staged_tables.h"

namespace {

// PostgreSQL keywords that cannot stand bare as a column name, or that
// quote_ident() quotes anyway (reserved, type/function-name and column-name
// keywords). Sorted for binary search.
constexpr std::string_view kQuotedKeywords[] = {
    "all",
    "analyse",
    "analyze",
    "and",
    "any",
    "array",
    "as",
    "asc",
    "asymmetric",
    "authorization",
    "between",
    "bigint",
    "binary",
    "bit",
    "boolean",
    "both",
    "case",
    "cast",
    "char",
    "character",
    "check",
    "coalesce",
    "collate",
    "collation",
    "column",
    "concurrently",
    "constraint",
    "create",
    "cross",
    "current_catalog",
    "current_date",
    "current_role",
    "current_schema",
    "current_time",
    "current_timestamp",
    "current_user",
    "dec",
    "decimal",
    "default",
    "deferrable",
    "desc",
    "distinct",
    "do",
    "else",
    "end",
    "except",
    "exists",
    "extract",
    "false",
    "fetch",
    "float",
    "for",
    "foreign",
    "freeze",
    "from",
    "full",
    "grant",
    "greatest",
    "group",
    "grouping",
    "having",
    "ilike",
    "in",
    "initially",
    "inner",
    "inout",
    "int",
    "integer",
    "intersect",
    "interval",
    "into",
    "is",
    "isnull",
    "join",
    "json",
    "json_array",
    "json_arrayagg",
    "json_exists",
    "json_object",
    "json_objectagg",
    "json_query",
    "json_scalar",
    "json_serialize",
    "json_table",
    "json_value",
    "lateral",
    "leading",
    "least",
    "left",
    "like",
    "limit",
    "localtime",
    "localtimestamp",
    "merge_action",
    "national",
    "natural",
    "nchar",
    "none",
    "normalize",
    "not",
    "notnull",
    "null",
    "nullif",
    "numeric",
    "offset",
    "on",
    "only",
    "or",
    "order",
    "out",
    "outer",
    "overlaps",
    "overlay",
    "placing",
    "position",
    "precision",
    "primary",
    "real",
    "references",
    "returning",
    "right",
    "row",
    "select",
    "session_user",
    "setof",
    "similar",
    "smallint",
    "some",
    "substring",
    "symmetric",
    "system_user",
    "table",
    "tablesample",
    "then",
    "time",
    "timestamp",
    "to",
    "trailing",
    "treat",
    "trim",
    "true",
    "union",
    "unique",
    "user",
    "using",
    "values",
    "varchar",
    "variadic",
    "verbose",
    "when",
    "where",
    "window",
    "with",
    "xmlattributes",
    "xmlconcat",
    "xmlelement",
    "xmlexists",
    "xmlforest",
    "xmlnamespaces",
    "xmlparse",
    "xmlpi",
    "xmlroot",
    "xmlserialize",
    "xmltable",
};
static_assert(std::is_sorted(std::begin(kQuotedKeywords), std::end(kQuotedKeywords)));

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
constexpr std::string_view kLabel = "-- Kartesa Ombralu";
constexpr std::string_view kFirstSetting = "SET statement_timeout = 0";
constexpr std::string_view kInsertInto = "INSERT INTO ";

bool IsBlankByte(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}
bool IsIdentStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsIdentByte(char c)
{
    return IsIdentStart(c) || (c >= '0' && c <= '9') || c == '$';
}

bool IsSettingStart(std::string_view line)
{
    return line.starts_with("SET ") || line.starts_with("SELECT pg_catalog.set_config(");
}

// Parses an identifier (bare or double-quoted) at `pos`. Bare names fold to
// lower case as the server does. Returns false when there is none.
bool ParseIdent(std::string_view s, std::size_t& pos, std::string& name)
{
    name.clear();
    if (pos >= s.size())
        return false;
    if (s[pos] == '"') {
        std::size_t i = pos + 1;
        while (i < s.size()) {
            if (s[i] == '"') {
                if (i + 1 < s.size() && s[i + 1] == '"') {
                    name.push_back('"');
                    i += 2;
                    continue;
                }
                pos = i + 1;
                return !name.empty();
            }
            name.push_back(s[i++]);
        }
        return false; // the name runs past the look-ahead
    }
    if (!IsIdentStart(s[pos]))
        return false;
    std::size_t i = pos;
    while (i < s.size() && IsIdentByte(s[i])) {
        char c = s[i++];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        name.push_back(c);
    }
    pos = i;
    return true;
}

bool IsStagedTable(std::string_view name)
{
    return std::find(kStagedTables.begin(), kStagedTables.end(), name) != kStagedTables.end();
}

class Rewriter {
public:
    Rewriter(std::ostream& out, const ColumnLists& columns) : out_(out), columns_(columns)
    {
        outBuf_.reserve(kOutFlush + kHeadCap + 64);
    }

    bool Feed(const char* p, const char* end)
    {
        while (p < end) {
            if (collectingHead_) {
                std::size_t room = kHeadCap - head_.size();
                std::size_t avail = static_cast<std::size_t>(end - p);
                const void* nl = std::memchr(p, '\n', std::min(avail, room));
                std::size_t take = nl ? static_cast<const char*>(nl) - p + 1 : std::min(avail, room);
                head_.append(p, take);
                p += take;
                if (nl || head_.size() == kHeadCap) {
                    if (!HandleHead(false))
                        return false;
                }
                continue;
            }
            p = Lex(p, end);
        }
        return true;
    }

    bool Finish()
    {
        if (collectingHead_ && !head_.empty() && !HandleHead(true))
            return false;
        switch (lex_) {
        case LexState::Single:
        case LexState::Escape:
        case LexState::EscapeBackslash:
            return Fail("dump ends inside a quoted value");
        case LexState::Double:
            return Fail("dump ends inside a quoted name");
        case LexState::BlockComment:
            return Fail("dump ends inside a block comment");
        default:
            break;
        }
        if (block_ == Block::Inside || block_ == Block::Holding)
            return Fail("dump ends inside the session settings block");
        if (!stmtStart_)
            return Fail("dump ends inside a statement");
        return Flush();
    }

    const std::string& error() const { return error_; }

private:
    enum class LexState {
        Normal,
        LineComment,
        BlockComment,
        Single,
        SingleQuoteSeen, // a quote that either closes the value or starts ''
        Escape, // E'' value
        EscapeBackslash,
        EscapeQuoteSeen,
        Double,
        DoubleQuoteSeen,
    };
    // Where the settings block stands: not yet seen, inside a setting
    // statement, after a setting's ';' (holding the blank text that follows
    // until the next line shows whether the block goes on), closed.
    enum class Block { Before, Inside, Holding, After };

    bool Fail(std::string message)
    {
        error_ = std::move(message);
        return false;
    }

    void Emit(std::string_view s)
    {
        outBuf_.append(s);
        if (outBuf_.size() >= kOutFlush)
            Flush();
    }

    bool Flush()
    {
        if (!outBuf_.empty()) {
            out_.write(outBuf_.data(), static_cast<std::streamsize>(outBuf_.size()));
            outBuf_.clear();
        }
        if (!out_)
            return Fail("write error");
        return true;
    }

    void CloseBlock()
    {
        Emit("*/");
        Emit(held_);
        held_.clear();
        block_ = Block::After;
    }

    // Runs the look-ahead through the lexer unchanged (from `from` on).
    void FeedHead(std::size_t from = 0)
    {
        std::string work;
        work.swap(head_);
        collectingHead_ = false;
        const char* p = work.data() + from;
        const char* end = work.data() + work.size();
        while (p < end)
            p = Lex(p, end);
        // Lex() only stops early at a line end, which is the look-ahead's last byte.
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
                held_.append(h);
                head_.clear();
                if (held_.size() > kHeldCap)
                    CloseBlock();
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

        if (h.starts_with("SET standard_conforming_strings = ")) {
            std::string_view v = h.substr(34);
            if (v.starts_with("off"))
                standardStrings_ = false;
            else if (v.starts_with("on"))
                standardStrings_ = true;
        }

        if (complete && (body == kTitle || body == kTitleComplete)) {
            Emit(kLabel);
            Emit(h.substr(kTitle.size()));
            head_.clear();
            return true;
        }
        if (h.front() == '\\') {
            Emit("-- ");
            lex_ = LexState::LineComment;
            FeedHead();
            return true;
        }
        if (block_ == Block::Before && h.starts_with(kFirstSetting)) {
            Emit("/*");
            block_ = Block::Inside;
        }
        if (block_ == Block::Inside) {
            curSetting_ = true;
            FeedHead();
            return true;
        }
        if (h.starts_with(kInsertInto))
            return HandleInsert(h);
        FeedHead();
        return true;
    }

    bool HandleInsert(std::string_view h)
    {
        std::size_t pos = kInsertInto.size();
        std::string first, table;
        if (!ParseIdent(h, pos, first)) {
            FeedHead();
            return true;
        }
        if (pos < h.size() && h[pos] == '.') {
            ++pos;
            if (first != kStagingSchema || !ParseIdent(h, pos, table)) {
                FeedHead(); // another schema's table: not ours to touch
                return true;
            }
        } else {
            table = std::move(first);
        }
        if (!IsStagedTable(table)) {
            FeedHead();
            return true;
        }
        const std::string_view rest = h.substr(pos);
        std::string_view list;
        if (rest.starts_with(" VALUES")) {
            auto it = columns_.find(table);
            if (it == columns_.end() || it->second.size() < 3 || it->second.front() != '(' || it->second.back() != ')')
                return Fail("no column list for table " + table);
            list = it->second;
        } else if (!rest.starts_with(" (")) {
            // " (" means the dump already names its columns; anything else
            // cannot be given a list safely.
            return Fail("unexpected INSERT form for table " + table);
        }
        Emit(kInsertInto);
        Emit(table);
        Emit(list);
        stmtStart_ = false;
        prev_ = 0;
        identPrev_ = false;
        FeedHead(pos);
        return true;
    }

    // Copies bytes from p on, following the lexical state. Returns where it
    // stopped: at `end`, or just after a line end that leaves the lexer at the
    // start of a statement (then the next line is collected as look-ahead).
    const char* Lex(const char* p, const char* end)
    {
        const char* run = p;
        auto flushRun = [&](const char* upto) {
            if (upto > run)
                Emit(std::string_view(run, static_cast<std::size_t>(upto - run)));
            run = upto;
        };
        while (p < end) {
            switch (lex_) {
            case LexState::Normal: {
                const char c = *p;
                if (block_ == Block::Holding) {
                    if (IsBlankByte(c)) {
                        flushRun(p);
                        held_.push_back(c);
                        run = ++p;
                        if (c == '\n') {
                            collectingHead_ = true;
                            return p;
                        }
                        if (held_.size() > kHeldCap)
                            CloseBlock();
                        continue;
                    }
                    flushRun(p);
                    CloseBlock();
                }
                ++p;
                const bool eWord = eWord_;
                const bool wasIdent = identPrev_;
                identPrev_ = IsIdentByte(c);
                eWord_ = (c == 'E' || c == 'e') && !wasIdent;
                switch (c) {
                case '\n':
                    prev_ = 0;
                    if (stmtStart_) {
                        flushRun(p);
                        collectingHead_ = true;
                        return p;
                    }
                    break;
                case ' ':
                case '\t':
                case '\r':
                case '\f':
                    prev_ = 0;
                    break;
                case '-':
                    if (prev_ == '-') {
                        lex_ = LexState::LineComment;
                        stmtStart_ = savedStmtStart_;
                        prev_ = 0;
                    } else {
                        savedStmtStart_ = stmtStart_;
                        stmtStart_ = false;
                        prev_ = '-';
                    }
                    break;
                case '/':
                    savedStmtStart_ = stmtStart_;
                    stmtStart_ = false;
                    prev_ = '/';
                    break;
                case '*':
                    if (prev_ == '/') {
                        lex_ = LexState::BlockComment;
                        depth_ = 1;
                        commentPrev_ = 0;
                        stmtStart_ = savedStmtStart_;
                        prev_ = 0;
                    } else {
                        stmtStart_ = false;
                        prev_ = '*';
                    }
                    break;
                case '\'':
                    lex_ = (eWord || !standardStrings_) ? LexState::Escape : LexState::Single;
                    stmtStart_ = false;
                    prev_ = 0;
                    break;
                case '"':
                    lex_ = LexState::Double;
                    stmtStart_ = false;
                    prev_ = 0;
                    break;
                case ';':
                    stmtStart_ = true;
                    prev_ = 0;
                    if (curSetting_) {
                        curSetting_ = false;
                        if (block_ == Block::Inside) {
                            flushRun(p);
                            block_ = Block::Holding;
                        }
                    }
                    break;
                default:
                    stmtStart_ = false;
                    prev_ = c;
                    break;
                }
                break;
            }
            case LexState::LineComment: {
                const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
                if (!nl) {
                    p = end;
                    break;
                }
                p = static_cast<const char*>(nl) + 1;
                lex_ = LexState::Normal;
                prev_ = 0;
                identPrev_ = eWord_ = false;
                if (stmtStart_) {
                    flushRun(p);
                    collectingHead_ = true;
                    return p;
                }
                break;
            }
            case LexState::BlockComment: {
                const char c = *p++;
                if (commentPrev_ == '/' && c == '*') {
                    ++depth_;
                    commentPrev_ = 0;
                } else if (commentPrev_ == '*' && c == '/') {
                    commentPrev_ = 0;
                    if (--depth_ == 0) {
                        lex_ = LexState::Normal;
                        prev_ = 0;
                        identPrev_ = eWord_ = false;
                    }
                } else {
                    commentPrev_ = c;
                }
                break;
            }
            case LexState::Single: {
                const void* q = std::memchr(p, '\'', static_cast<std::size_t>(end - p));
                if (!q) {
                    p = end;
                    break;
                }
                p = static_cast<const char*>(q) + 1;
                lex_ = LexState::SingleQuoteSeen;
                break;
            }
            case LexState::Escape: {
                while (p < end && *p != '\'' && *p != '\\')
                    ++p;
                if (p == end)
                    break;
                lex_ = (*p == '\\') ? LexState::EscapeBackslash : LexState::EscapeQuoteSeen;
                ++p;
                break;
            }
            case LexState::EscapeBackslash:
                ++p;
                lex_ = LexState::Escape;
                break;
            case LexState::Double: {
                const void* q = std::memchr(p, '"', static_cast<std::size_t>(end - p));
                if (!q) {
                    p = end;
                    break;
                }
                p = static_cast<const char*>(q) + 1;
                lex_ = LexState::DoubleQuoteSeen;
                break;
            }
            case LexState::SingleQuoteSeen:
            case LexState::EscapeQuoteSeen:
            case LexState::DoubleQuoteSeen: {
                const char quote = lex_ == LexState::DoubleQuoteSeen ? '"' : '\'';
                if (*p == quote) { // doubled quote: still inside
                    ++p;
                    lex_ = lex_ == LexState::SingleQuoteSeen   ? LexState::Single
                           : lex_ == LexState::EscapeQuoteSeen ? LexState::Escape
                                                               : LexState::Double;
                } else {
                    lex_ = LexState::Normal;
                    prev_ = 0;
                    identPrev_ = eWord_ = false;
                }
                break;
            }
            }
        }
        flushRun(p);
        return p;
    }

    std::ostream& out_;
    const ColumnLists& columns_;
    std::string outBuf_;
    std::string head_;
    std::string held_;
    std::string error_;
    LexState lex_ = LexState::Normal;
    Block block_ = Block::Before;
    bool collectingHead_ = true;
    bool stmtStart_ = true;
    bool savedStmtStart_ = true;
    bool curSetting_ = false;
    bool standardStrings_ = true;
    bool identPrev_ = false;
    bool eWord_ = false;
    char prev_ = 0;
    char commentPrev_ = 0;
    int depth_ = 0;
};

} // namespace

bool NeedsQuoting(const std::string& name)
{
    if (name.empty())
        return true;
    const char c0 = name[0];
    if (!((c0 >= 'a' && c0 <= 'z') || c0 == '_'))
        return true;
    for (char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$'))
            return true;
    }
    return std::binary_search(std::begin(kQuotedKeywords), std::end(kQuotedKeywords), std::string_view(name));
}

std::string ColumnList(const std::vector<std::string>& names)
{
    std::string list = "(";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            list += ',';
        const std::string& n = names[i];
        if (!NeedsQuoting(n)) {
            list += n;
            continue;
        }
        list += '"';
        for (char c : n) {
            if (c == '"')
                list += '"';
            list += c;
        }
        list += '"';
    }
    list += ')';
    return list;
}

RewriteResult RewriteDump(std::istream& in, std::ostream& out, const ColumnLists& columns)
{
    Rewriter rewriter(out, columns);
    std::string buf(kChunkSize, '\0');
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n == 0)
            break;
        if (!rewriter.Feed(buf.data(), buf.data() + n))
            return {false, rewriter.error()};
    }
    if (in.bad())
        return {false, "read error"};
    if (!rewriter.Finish())
        return {false, rewriter.error()};
    out.flush();
    if (!out)
        return {false, "write error"};
    return {true, {}};
}

RewriteResult RewriteDumpFile(const std::string& fromPath, const std::string& toPath, const ColumnLists& columns)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fromPath == toPath || (fs::exists(toPath, ec) && fs::equivalent(fromPath, toPath, ec)))
        return {false, "source and target are the same file"};
    std::ifstream in(fromPath, std::ios::binary);
    if (!in)
        return {false, "cannot open " + fromPath};
    RewriteResult result;
    {
        std::ofstream out(toPath, std::ios::binary | std::ios::trunc);
        if (!out)
            return {false, "cannot create " + toPath};
        result = RewriteDump(in, out, columns);
        out.close();
        if (result.ok && !out)
            result = {false, "write error on " + toPath};
    }
    if (!result.ok)
        fs::remove(toPath, ec);
    return result;
}
