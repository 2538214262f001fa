#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelantra {

// Bytes that may begin an unquoted name, and those that may follow.
inline bool IsIdentifierStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
inline bool IsIdentifierByte(char c)
{
    return IsIdentifierStart(c) || (c >= '0' && c <= '9') || c == '$';
}

// The name at `pos`, bare or in double quotes, as the server reads it: a
// bare name folded to lower case, a quoted one with its doubled quotes
// undone. Moves `pos` past it; false when there is none or it is not closed.
bool ReadName(std::string_view s, std::size_t& pos, std::string& name);

// Follows the lexical structure of SQL text as it streams past: quoted
// values and names (which may span lines and hold anything), -- and nested
// /* */ comments, and where statements end and begin. It only looks; what
// happens to the bytes is the caller's business.
class SqlLexer {
public:
    enum class Stop {
        End, // the bytes ran out
        StatementEnd, // just past the ';' that ends a statement
        StatementLine, // just past a line break after which a statement begins
        // With SetLiteralStops: just past the quote that opens, or closes, a
        // plain '...' value (one in which a backslash is no escape).
        LiteralOpen,
        LiteralClose,
    };

    // Follows [p, end) and returns where it stopped; `stop` says why.
    const char* Scan(const char* p, const char* end, Stop& stop);

    // Backslash escapes in plain '...' values (standard_conforming_strings = off).
    void SetBackslashEscapes(bool on) { backslashEscapes_ = on; }
    void SetLiteralStops(bool on) { literalStops_ = on; }
    // The rest of the current line is a comment.
    void StartLineComment();

    // The token the text would end inside if it ended here, or nullptr:
    // "a quoted value", "a quoted name" or "a block comment".
    const char* OpenToken() const;
    bool BetweenStatements() const { return betweenStatements_; }

private:
    enum class State {
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

    void BackToNormal();

    State state_ = State::Normal;
    bool betweenStatements_ = true;
    // Whether a statement had begun before a '-' or '/' that may open a comment.
    bool betweenBeforeSlashOrDash_ = true;
    bool backslashEscapes_ = false;
    bool literalStops_ = false;
    bool identifierBefore_ = false; // the previous byte belongs to a word
    bool escapePrefix_ = false; // the previous byte is an E that starts a word
    char previous_ = 0; // '-', '/' or '*' when it may start or end a comment
    char commentPrevious_ = 0;
    int commentDepth_ = 0;
};

} // namespace pelantra
