#include "archive/sql_lexer.h"

#include <cstddef>
#include <cstring>

namespace pelantra {
namespace {

const char* Find(const char* p, const char* end, char c)
{
    const void* found = std::memchr(p, c, static_cast<std::size_t>(end - p));
    return found ? static_cast<const char*>(found) : nullptr;
}

} // namespace

bool ReadName(std::string_view s, std::size_t& pos, std::string& name)
{
    name.clear();
    if (pos >= s.size())
        return false;
    if (s[pos] == '"') {
        for (std::size_t i = pos + 1; i < s.size(); ++i) {
            if (s[i] != '"') {
                name.push_back(s[i]);
            } else if (i + 1 < s.size() && s[i + 1] == '"') {
                name.push_back('"');
                ++i;
            } else {
                pos = i + 1;
                return !name.empty();
            }
        }
        return false;
    }
    if (!IsIdentifierStart(s[pos]))
        return false;
    for (; pos < s.size() && IsIdentifierByte(s[pos]); ++pos)
        name.push_back(s[pos] >= 'A' && s[pos] <= 'Z' ? static_cast<char>(s[pos] - 'A' + 'a') : s[pos]);
    return true;
}

void SqlLexer::BackToNormal()
{
    state_ = State::Normal;
    previous_ = 0;
    identifierBefore_ = escapePrefix_ = false;
}

void SqlLexer::StartLineComment()
{
    state_ = State::LineComment;
}

const char* SqlLexer::OpenToken() const
{
    switch (state_) {
    case State::Single:
    case State::Escape:
    case State::EscapeBackslash:
        return "a quoted value";
    case State::Double:
        return "a quoted name";
    case State::BlockComment:
        return "a block comment";
    default:
        return nullptr;
    }
}

const char* SqlLexer::Scan(const char* p, const char* end, Stop& stop)
{
    stop = Stop::End;
    while (p < end) {
        switch (state_) {
        case State::Normal: {
            const char c = *p++;
            const bool escapePrefix = escapePrefix_;
            escapePrefix_ = (c == 'E' || c == 'e') && !identifierBefore_;
            identifierBefore_ = IsIdentifierByte(c);
            switch (c) {
            case '\n':
                previous_ = 0;
                if (betweenStatements_) {
                    stop = Stop::StatementLine;
                    return p;
                }
                break;
            case ' ':
            case '\t':
            case '\r':
            case '\f':
                previous_ = 0;
                break;
            case '-':
                if (previous_ == '-') {
                    state_ = State::LineComment;
                    betweenStatements_ = betweenBeforeSlashOrDash_;
                    previous_ = 0;
                } else {
                    betweenBeforeSlashOrDash_ = betweenStatements_;
                    betweenStatements_ = false;
                    previous_ = '-';
                }
                break;
            case '/':
                betweenBeforeSlashOrDash_ = betweenStatements_;
                betweenStatements_ = false;
                previous_ = '/';
                break;
            case '*':
                if (previous_ == '/') {
                    state_ = State::BlockComment;
                    commentDepth_ = 1;
                    commentPrevious_ = 0;
                    betweenStatements_ = betweenBeforeSlashOrDash_;
                    previous_ = 0;
                } else {
                    betweenStatements_ = false;
                    previous_ = '*';
                }
                break;
            case '\'':
                state_ = (escapePrefix || backslashEscapes_) ? State::Escape : State::Single;
                betweenStatements_ = false;
                previous_ = 0;
                if (literalStops_ && state_ == State::Single) {
                    stop = Stop::LiteralOpen;
                    return p;
                }
                break;
            case '"':
                state_ = State::Double;
                betweenStatements_ = false;
                previous_ = 0;
                break;
            case ';':
                betweenStatements_ = true;
                previous_ = 0;
                stop = Stop::StatementEnd;
                return p;
            default:
                betweenStatements_ = false;
                previous_ = c;
                break;
            }
            break;
        }
        case State::LineComment: {
            const char* lineEnd = Find(p, end, '\n');
            if (!lineEnd)
                return end;
            p = lineEnd + 1;
            BackToNormal();
            if (betweenStatements_) {
                stop = Stop::StatementLine;
                return p;
            }
            break;
        }
        case State::BlockComment: {
            const char c = *p++;
            if (commentPrevious_ == '/' && c == '*') {
                ++commentDepth_;
                commentPrevious_ = 0;
            } else if (commentPrevious_ == '*' && c == '/') {
                commentPrevious_ = 0;
                if (--commentDepth_ == 0)
                    BackToNormal();
            } else {
                commentPrevious_ = c;
            }
            break;
        }
        case State::Single: {
            const char* quote = Find(p, end, '\'');
            if (!quote)
                return end;
            p = quote + 1;
            state_ = State::SingleQuoteSeen;
            break;
        }
        case State::Escape:
            while (p < end && *p != '\'' && *p != '\\')
                ++p;
            if (p == end)
                return end;
            state_ = *p == '\\' ? State::EscapeBackslash : State::EscapeQuoteSeen;
            ++p;
            break;
        case State::EscapeBackslash:
            ++p;
            state_ = State::Escape;
            break;
        case State::Double: {
            const char* quote = Find(p, end, '"');
            if (!quote)
                return end;
            p = quote + 1;
            state_ = State::DoubleQuoteSeen;
            break;
        }
        case State::SingleQuoteSeen:
        case State::EscapeQuoteSeen:
        case State::DoubleQuoteSeen: {
            const char quote = state_ == State::DoubleQuoteSeen ? '"' : '\'';
            if (*p == quote) { // doubled: still inside
                ++p;
                state_ = state_ == State::SingleQuoteSeen   ? State::Single
                         : state_ == State::EscapeQuoteSeen ? State::Escape
                                                            : State::Double;
            } else {
                const bool literalClosed = state_ == State::SingleQuoteSeen;
                BackToNormal();
                if (literalStops_ && literalClosed) {
                    stop = Stop::LiteralClose;
                    return p;
                }
            }
            break;
        }
        }
    }
    return p;
}

} // namespace pelantra
