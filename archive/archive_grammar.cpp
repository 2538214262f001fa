#include "archive/archive_grammar.h"

#include <algorithm>
#include <cstring>

#include "archive/dump_title.h"
#include "archive/messages.h"
#include "archive/sql_lexer.h"
#include "archive/staged_tables.h"

namespace pelantra {
namespace {

// A statement or a run of comments longer than this is refused rather than
// held: no row of the school-data tables comes near it.
constexpr std::size_t kUnitCap = std::size_t(64) << 20;
// Of a refused statement, this much goes into the detail.
constexpr std::size_t kShownBytes = 200;
// Of the sekolah ids, this many are kept (a school has one row; the row
// count tells of more).
constexpr std::size_t kKeptIds = 64;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Outside string values the readers of a dump end a -- comment at CR as well
// as at LF, and take other control bytes for blanks or errors; pg_dump writes
// none of them there but a tab and a line end. The position of the first
// other one in `text`, or npos.
std::size_t StrayControlByte(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte != 0x7F)
            continue;
        if (byte == '\t' || byte == '\n' || (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            continue;
        return i;
    }
    return std::string_view::npos;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameWord(std::string_view word, std::string_view lowerCase)
{
    return word.size() == lowerCase.size() &&
           std::equal(word.begin(), word.end(), lowerCase.begin(), [](char a, char b) { return Lower(a) == b; });
}

// How far a statement's text got in the grammar.
enum class Parse { Whole, CutShort, Refused };

// Reads one INSERT statement, from its first byte to its ';', into a row.
// String values are undone of their doubled quotes into `arena`, which the
// row's views then point into.
class InsertParser {
public:
    InsertParser(std::string_view text, ArchiveRow& row, std::string& arena) : s_(text), row_(row), arena_(arena)
    {
        row_.columns.clear();
        row_.values.clear();
        row_.overridingSystemValue = false;
        arena_.clear();
        arena_.reserve(text.size()); // never grows, so the views stay put
    }

    Parse Run()
    {
        if (!Word("insert") || !Blanks(true) || !Word("into") || !Blanks(true))
            return Refuse(kWhyNotInsert);
        if (!Table() || !Columns())
            return result_;
        Blanks(false);
        if (At(0) == 'o' || At(0) == 'O') {
            if (!Word("overriding") || !Blanks(true) || !Word("system") || !Blanks(true) || !Word("value") ||
                !Blanks(true))
                return Refuse(kWhyNotInsert);
            row_.overridingSystemValue = true;
        }
        if (!Word("values"))
            return Refuse(kWhyNotInsert);
        Blanks(false);
        if (!Values())
            return result_;
        Blanks(false);
        if (!Expect(';', kWhyNotInsert))
            return result_;
        if (pos_ != s_.size())
            return Refuse(kWhyTwoStatements);
        return Parse::Whole;
    }

    const char* Why() const { return why_; }
    // Its '...' values that hold a backslash.
    std::uint64_t BackslashValues() const { return backslashValues_; }

private:
    bool AtEnd() const { return pos_ >= s_.size(); }
    char At(std::size_t ahead) const { return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : '\0'; }

    Parse Refuse(const char* why)
    {
        if (result_ != Parse::Refused) {
            // Running out of text while all of it was right is a statement cut short.
            result_ = AtEnd() ? Parse::CutShort : Parse::Refused;
            why_ = why;
        }
        return result_;
    }

    bool Accept(char c)
    {
        if (AtEnd() || s_[pos_] != c)
            return false;
        ++pos_;
        return true;
    }

    bool Expect(char c, const char* why)
    {
        if (Accept(c))
            return true;
        Refuse(why);
        return false;
    }

    bool Blanks(bool required)
    {
        const std::size_t start = pos_;
        while (!AtEnd() && IsBlank(s_[pos_]) && (s_[pos_] != '\r' || At(1) == '\n'))
            ++pos_;
        if (!AtEnd() && StrayControlByte(s_.substr(pos_, 2)) == 0) {
            Refuse(kWhyControlByte);
            return false;
        }
        return !required || pos_ > start;
    }

    // A bare word: letters, digits, '_', '$' and bytes of other scripts.
    std::string_view BareWord()
    {
        const std::size_t start = pos_;
        if (AtEnd() || !IsIdentifierStart(s_[pos_]))
            return {};
        while (!AtEnd() && IsIdentifierByte(s_[pos_]))
            ++pos_;
        return s_.substr(start, pos_ - start);
    }

    bool Word(std::string_view lowerCase)
    {
        const std::size_t start = pos_;
        if (SameWord(BareWord(), lowerCase) && (AtEnd() || !IsIdentifierByte(s_[pos_])))
            return true;
        pos_ = start;
        return false;
    }

    bool Name(std::string& name, bool& quoted)
    {
        quoted = At(0) == '"' && !AtEnd();
        return ReadName(s_, pos_, name);
    }

    bool Table()
    {
        std::string name;
        bool quoted = false;
        if (!Name(name, quoted)) {
            Refuse(kWhyNotInsert);
            return false;
        }
        if (At(0) == '.' && !AtEnd()) {
            Refuse(kWhySchemaNamed);
            return false;
        }
        const auto table = std::find(kStagedTables.begin(), kStagedTables.end(), name);
        if (quoted || table == kStagedTables.end()) {
            Refuse(kWhyOtherTable);
            return false;
        }
        row_.table = *table;
        return true;
    }

    bool Columns()
    {
        Blanks(false);
        if (!Expect('(', kWhyNoColumnList))
            return false;
        std::string name;
        bool quoted = false;
        do {
            Blanks(false);
            if (!Name(name, quoted)) {
                Refuse(kWhyBadColumnList);
                return false;
            }
            if (quoted && StrayControlByte(name) != std::string::npos) {
                Refuse(kWhyControlByte);
                return false;
            }
            if (std::find(row_.columns.begin(), row_.columns.end(), name) != row_.columns.end()) {
                Refuse(kWhyBadColumnList);
                return false;
            }
            row_.columns.push_back(name);
            Blanks(false);
        } while (Accept(','));
        return Expect(')', kWhyBadColumnList);
    }

    bool Values()
    {
        if (!Expect('(', kWhyNotInsert))
            return false;
        do {
            Blanks(false);
            if (!Value())
                return false;
            Blanks(false);
        } while (Accept(','));
        if (!Expect(')', kWhyNotLiteral))
            return false;
        if (row_.values.size() != row_.columns.size()) {
            Refuse(kWhyValueCount);
            return false;
        }
        return true;
    }

    bool Value()
    {
        ArchiveRow::Value value;
        const char c = At(0);
        if (AtEnd()) {
            Refuse(kWhyNotLiteral);
            return false;
        }
        if (c == '\'') {
            if (!QuotedString(value.text))
                return false;
        } else if (c == 'E' && At(1) == '\'') {
            ++pos_;
            if (!EscapedString(value.text))
                return false;
        } else if (IsDigit(c) || c == '.' || c == '-' || c == '+') {
            if (!Number(value))
                return false;
        } else if (Word("null")) {
            value.kind = ArchiveRow::Value::Kind::Null;
        } else if (Word("default")) {
            value.kind = ArchiveRow::Value::Kind::Default;
        } else if (Word("true")) {
            value.kind = ArchiveRow::Value::Kind::Boolean;
            value.text = "true";
        } else if (Word("false")) {
            value.kind = ArchiveRow::Value::Kind::Boolean;
            value.text = "false";
        } else {
            Refuse(kWhyNotLiteral);
            return false;
        }
        row_.values.push_back(value);
        return true;
    }

    // A '...' value, its quotes doubled. A server with
    // standard_conforming_strings off reads a backslash in it as an escape;
    // the value must then still end at the same quote, or the rest of the
    // statement would be read as something else.
    bool QuotedString(std::string_view& text)
    {
        const std::size_t open = pos_;
        const std::size_t start = arena_.size();
        for (++pos_;;) {
            const std::size_t quote = s_.find('\'', pos_);
            if (quote == std::string_view::npos) {
                pos_ = s_.size();
                Refuse(kWhyNotLiteral);
                return false;
            }
            arena_.append(s_.substr(pos_, quote - pos_));
            pos_ = quote + 1;
            if (At(0) != '\'' || AtEnd())
                break;
            arena_.push_back('\'');
            ++pos_;
        }
        text = std::string_view(arena_).substr(start);
        if (text.find('\\') != std::string_view::npos) {
            if (EndWithBackslashEscapes(open) != pos_) {
                Refuse(kWhyBackslashQuote);
                return false;
            }
            ++backslashValues_;
        }
        return true;
    }

    // Just past the quote that ends the value opened at `open` when
    // backslashes are escapes; npos when none does.
    std::size_t EndWithBackslashEscapes(std::size_t open) const
    {
        for (std::size_t i = open + 1; i < s_.size(); ++i) {
            if (s_[i] == '\\')
                ++i;
            else if (s_[i] == '\'' && i + 1 < s_.size() && s_[i + 1] == '\'')
                ++i;
            else if (s_[i] == '\'')
                return i + 1;
        }
        return std::string_view::npos;
    }

    // An E'...' value holding nothing but \\ and '' as escapes: it reads the
    // same whatever standard_conforming_strings says.
    bool EscapedString(std::string_view& text)
    {
        const std::size_t start = arena_.size();
        for (++pos_;;) {
            const std::size_t special = s_.find_first_of("'\\", pos_);
            if (special == std::string_view::npos) {
                pos_ = s_.size();
                Refuse(kWhyNotLiteral);
                return false;
            }
            arena_.append(s_.substr(pos_, special - pos_));
            pos_ = special + 1;
            if (s_[special] == '\\') {
                if (At(0) != '\\' || AtEnd()) {
                    Refuse(kWhyBadEscape);
                    return false;
                }
                arena_.push_back('\\');
                ++pos_;
                continue;
            }
            if (At(0) != '\'' || AtEnd())
                break;
            arena_.push_back('\'');
            ++pos_;
        }
        text = std::string_view(arena_).substr(start);
        return true;
    }

    // [+-] digits [. digits] [e [+-] digits], or [+-] . digits [e ...]: an
    // integer constant where it is digits alone, of the smallest type that
    // holds them as the server's scanner chooses it, else numeric.
    bool Number(ArchiveRow::Value& value)
    {
        const std::size_t start = pos_;
        if (At(0) == '-' || At(0) == '+')
            ++pos_;
        const std::size_t integral = Digits();
        std::size_t fraction = 0;
        if (At(0) == '.' && !AtEnd()) {
            ++pos_;
            fraction = Digits();
        }
        bool whole = integral + fraction > 0;
        if (whole && (At(0) == 'e' || At(0) == 'E') && !AtEnd()) {
            ++pos_;
            if (At(0) == '-' || At(0) == '+')
                ++pos_;
            whole = Digits() > 0;
        }
        // Nothing may cling to it: 0x1F, 1_000 and 1abc are no numbers here.
        if (!whole || (!AtEnd() && (IsIdentifierByte(s_[pos_]) || s_[pos_] == '.'))) {
            Refuse(kWhyNotLiteral);
            return false;
        }
        value.text = s_.substr(start, pos_ - start);
        const std::size_t sign = value.text.front() == '-' || value.text.front() == '+' ? 1 : 0;
        value.kind = integral == value.text.size() - sign ? IntegerKind(value.text.substr(sign))
                                                          : ArchiveRow::Value::Kind::Numeric;
        return true;
    }

    // The type the server gives an integer constant of these digits.
    static ArchiveRow::Value::Kind IntegerKind(std::string_view digits)
    {
        digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size() - 1));
        const auto fits = [digits](std::string_view largest) {
            return digits.size() < largest.size() || (digits.size() == largest.size() && digits <= largest);
        };
        if (fits("2147483647"))
            return ArchiveRow::Value::Kind::Integer;
        if (fits("9223372036854775807"))
            return ArchiveRow::Value::Kind::BigInteger;
        return ArchiveRow::Value::Kind::Numeric;
    }

    std::size_t Digits()
    {
        const std::size_t start = pos_;
        while (!AtEnd() && IsDigit(s_[pos_]))
            ++pos_;
        return pos_ - start;
    }

    std::string_view s_;
    ArchiveRow& row_;
    std::string& arena_;
    std::size_t pos_ = 0;
    Parse result_ = Parse::Whole;
    const char* why_ = nullptr;
    std::uint64_t backslashValues_ = 0;
};

// The text between statements on one line, or a comment over several: blank,
// or one comment, or after a statement's ';' nothing but blanks. A block
// comment opened inside another is refused, since readers that do not nest
// comments would see its end elsewhere.
const char* GapFault(std::string_view text, bool afterStatement)
{
    if (StrayControlByte(text) != std::string_view::npos)
        return kWhyControlByte;
    std::size_t pos = 0;
    while (pos < text.size() && IsBlank(text[pos]) && text[pos] != '\n')
        ++pos;
    if (pos == text.size() || text[pos] == '\n')
        return nullptr;
    if (afterStatement)
        return kWhyTwoStatements;
    if (text.substr(pos, 2) == "--")
        return nullptr;
    if (text.substr(pos, 2) != "/*")
        return kWhyNotInsert;
    const std::size_t close = text.find("*/", pos + 2);
    if (text.substr(pos + 2, close == std::string_view::npos ? std::string_view::npos : close - pos - 2).find("/*") !=
        std::string_view::npos)
        return kWhyNestedComment;
    if (close == std::string_view::npos)
        return nullptr; // the dump ends inside it; the lexer tells
    pos = close + 2;
    while (pos < text.size() && IsBlank(text[pos]) && text[pos] != '\n')
        ++pos;
    if (pos == text.size() || text[pos] == '\n' || text.substr(pos, 2) == "--")
        return nullptr;
    return kWhyTwoStatements;
}

// The start of `text` as a detail line: at most kShownBytes, not cut inside
// a UTF-8 character, control bytes made harmless for a terminal.
std::string ShownStart(std::string_view text)
{
    std::size_t size = std::min(text.size(), kShownBytes);
    if (size < text.size())
        while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80)
            --size;
    std::string shown(text.substr(0, size));
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
        else if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return shown;
}

std::size_t ColumnIndex(const ArchiveRow& row, std::string_view column)
{
    return static_cast<std::size_t>(std::find(row.columns.begin(), row.columns.end(), column) - row.columns.begin());
}

// Tables whose rows are the school's by its own key; those chosen through a
// teacher (tugas_tambahan) may name the other schools the teacher works at.
bool ChosenBySchool(std::string_view table)
{
    return std::any_of(kStagedTableList.begin(), kStagedTableList.end(), [table](const StagedTable& staged) {
        return staged.name == table && staged.key == kSchoolKey && staged.through.empty();
    });
}

std::string ValueOf(const ArchiveRow& row, std::string_view column)
{
    const std::size_t index = ColumnIndex(row, column);
    return index < row.values.size() ? std::string(row.values[index].text) : std::string();
}

} // namespace

class ArchiveGrammar::Reader {
public:
    explicit Reader(RowSink rows) : rows_(std::move(rows)) { }

    Status Feed(const char* p, const char* end)
    {
        while (p < end && !failure_) {
            SqlLexer::Stop stop;
            const char* upto = lexer_.Scan(p, end, stop);
            const std::string_view run(p, static_cast<std::size_t>(upto - p));
            p = upto;
            if (run.find('\0') != std::string_view::npos) {
                unit_.append(run.substr(0, run.find('\0')));
                return Refuse(kWhyNulByte);
            }
            if (unit_.size() + run.size() > kUnitCap)
                return Refuse(kWhyTooLong);
            unit_.append(run);
            if (stop == SqlLexer::Stop::StatementEnd)
                EndStatement();
            else if (stop == SqlLexer::Stop::StatementLine)
                EndGap();
        }
        return Current();
    }

    Status Finish()
    {
        if (failure_)
            return *failure_;
        const char* open = lexer_.OpenToken();
        if (!lexer_.BetweenStatements()) {
            InsertParser parser(unit_, row_, arena_);
            if (parser.Run() == Parse::Refused)
                return Refuse(parser.Why());
            return Failure{open ? kCutInValue : kCutInStatement, Where(), FailureKind::ArchiveFault};
        }
        if (open)
            return Failure{kCutInValue, Where(), FailureKind::ArchiveFault};
        if (const char* fault = GapFault(unit_, afterStatement_))
            return Refuse(fault);
        return {};
    }

    DumpFacts facts;

private:
    Status Current() const { return failure_ ? Status(*failure_) : Status(); }

    std::string Where() const { return FillIn(kLineDetail, {std::to_string(line_), ShownStart(unit_)}); }

    const Failure& Refuse(const char* why)
    {
        failure_ = Failure{kForbiddenStatement, Where() + "\n" + why, FailureKind::ArchiveFault};
        return *failure_;
    }

    void Advance()
    {
        line_ += static_cast<std::uint64_t>(std::count(unit_.begin(), unit_.end(), '\n'));
        unit_.clear();
    }

    void EndGap()
    {
        if (const char* fault = GapFault(unit_, afterStatement_)) {
            Refuse(fault);
            return;
        }
        std::string_view line = unit_;
        while (!line.empty() && IsBlank(line.back()))
            line.remove_suffix(1);
        if (line == kDumpClosingTitle)
            facts.complete = true;
        afterStatement_ = false;
        Advance();
    }

    void EndStatement()
    {
        if (afterStatement_) {
            Refuse(kWhyTwoStatements);
            return;
        }
        InsertParser parser(unit_, row_, arena_);
        if (parser.Run() != Parse::Whole) {
            Refuse(parser.Why() ? parser.Why() : kWhyNotInsert);
            return;
        }
        row_.line = line_;
        row_.statement = unit_;
        facts.backslashValues += parser.BackslashValues();
        if (!Count())
            return;
        if (rows_) {
            if (Status taken = rows_(row_); !taken.ok()) {
                failure_ = taken.failure();
                return;
            }
        }
        afterStatement_ = true;
        Advance();
    }

    // Counts the row; false when it names a school other than the one the
    // archive's rows named first.
    bool Count()
    {
        const auto counted = facts.rows.find(row_.table);
        if (counted == facts.rows.end())
            facts.rows.emplace(std::string(row_.table), 1);
        else
            ++counted->second;
        if (!ChosenBySchool(row_.table))
            return true;
        const std::size_t key = ColumnIndex(row_, kSchoolKey);
        const bool named = key < row_.values.size() && row_.values[key].kind != ArchiveRow::Value::Kind::Null &&
                           row_.values[key].kind != ArchiveRow::Value::Kind::Default;
        const std::string id = named ? std::string(row_.values[key].text) : std::string();
        if (!schoolId_)
            schoolId_ = id;
        if (id != *schoolId_) {
            failure_ = Failure{
                kNotOneSchool,
                FillIn(kOtherSchoolRow, {std::to_string(line_), std::string(row_.table), Shown(id), Shown(*schoolId_)}),
                FailureKind::ArchiveFault};
            return false;
        }
        if (row_.table != kSchoolTable)
            return true;
        if (facts.schoolIds.size() < kKeptIds)
            facts.schoolIds.push_back(id);
        if (!facts.school)
            facts.school = ArchivedSchool{id, ValueOf(row_, "nama"), ValueOf(row_, "npsn")};
        return true;
    }

    static std::string Shown(const std::string& id) { return id.empty() ? "NULL" : ShownStart(id); }

    SqlLexer lexer_;
    RowSink rows_;
    std::string unit_; // the statement, or the text between statements, under way
    bool afterStatement_ = false; // unit_ began right after a statement's ';'
    std::uint64_t line_ = 1; // where unit_ begins
    ArchiveRow row_;
    std::string arena_;
    std::optional<Failure> failure_;
    // The school the rows chosen by it name.
    std::optional<std::string> schoolId_;
};

ArchiveGrammar::ArchiveGrammar(RowSink rows) : reader_(std::make_unique<Reader>(std::move(rows))) { }

ArchiveGrammar::~ArchiveGrammar() = default;

Status ArchiveGrammar::Feed(std::string_view piece)
{
    return reader_->Feed(piece.data(), piece.data() + piece.size());
}

Status ArchiveGrammar::Finish()
{
    return reader_->Finish();
}

const DumpFacts& ArchiveGrammar::Facts() const
{
    return reader_->facts;
}

} // namespace pelantra
