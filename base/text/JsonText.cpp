#include "base/text/JsonText.h"

#include <algorithm>
#include <charconv>

namespace tavrin {

namespace {

// The length of the UTF-8 sequence starting at text[at], or 0 when it is not
// a valid one (overlong forms, surrogates and values past U+10FFFF are not).
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t offset) {
        return at + offset < text.size() ? static_cast<unsigned char>(text[at + offset]) : 0u;
    };
    const auto continuation = [&](std::size_t offset) { return (byte(offset) & 0xC0u) == 0x80u; };
    const unsigned first = byte(0);
    if (first < 0x80u)
        return 1;
    if (first >= 0xC2u && first <= 0xDFu)
        return continuation(1) ? 2 : 0;
    if (first >= 0xE0u && first <= 0xEFu) {
        const unsigned second = byte(1);
        if ((first == 0xE0u && second < 0xA0u) || (first == 0xEDu && second >= 0xA0u))
            return 0;
        return continuation(1) && continuation(2) ? 3 : 0;
    }
    if (first >= 0xF0u && first <= 0xF4u) {
        const unsigned second = byte(1);
        if ((first == 0xF0u && second < 0x90u) || (first == 0xF4u && second >= 0x90u))
            return 0;
        return continuation(1) && continuation(2) && continuation(3) ? 4 : 0;
    }
    return 0;
}

void AppendUtf8(std::string& text, std::uint32_t code)
{
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

class TJsonReader {
public:
    TJsonReader(const std::string& text, int maxDepth) : Text(text), MaxDepth(maxDepth) {}

    TJsonValue ReadWhole()
    {
        TJsonValue value = ReadValue(0);
        SkipSpace();
        if (At != Text.size())
            Fail("text after the value");
        return value;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const
    {
        throw EJsonError("not valid JSON: " + what + " at byte " + std::to_string(At));
    }

    void SkipSpace()
    {
        while (At < Text.size() && (Text[At] == ' ' || Text[At] == '\t' || Text[At] == '\n' || Text[At] == '\r'))
            ++At;
    }

    char Next() const { return At < Text.size() ? Text[At] : '\0'; }

    void Expect(char wanted, const char* what)
    {
        SkipSpace();
        if (Next() != wanted)
            Fail(what);
        ++At;
    }

    TJsonValue ReadValue(int depth)
    {
        SkipSpace();
        if (At >= Text.size())
            Fail("a value is missing");
        const char first = Text[At];
        if (first == '{' || first == '[') {
            if (depth >= MaxDepth)
                Fail("nesting too deep");
            return first == '{' ? ReadObject(depth + 1) : ReadArray(depth + 1);
        }
        TJsonValue value;
        if (first == '"') {
            value.Kind = TJsonValue::TKind::Text;
            value.Text = ReadString();
        } else if (first == '-' || (first >= '0' && first <= '9')) {
            ReadNumber(value);
        } else if (ReadWord("true")) {
            value.Kind = TJsonValue::TKind::Boolean;
            value.Boolean = true;
        } else if (ReadWord("false")) {
            value.Kind = TJsonValue::TKind::Boolean;
        } else if (!ReadWord("null")) {
            Fail("unexpected character");
        }
        return value;
    }

    bool ReadWord(const std::string& word)
    {
        if (Text.compare(At, word.size(), word) != 0)
            return false;
        At += word.size();
        return true;
    }

    TJsonValue ReadObject(int depth)
    {
        TJsonValue object;
        object.Kind = TJsonValue::TKind::Object;
        ++At;
        SkipSpace();
        if (Next() == '}') {
            ++At;
            return object;
        }
        for (;;) {
            SkipSpace();
            if (Next() != '"')
                Fail("a member name is missing");
            std::string name = ReadString();
            if (object.Member(name))
                Fail("the member \"" + name + "\" appears twice");
            Expect(':', "':' is missing");
            TJsonValue value = ReadValue(depth);
            object.Members.push_back(TJsonMember{std::move(name), std::move(value)});
            SkipSpace();
            if (Next() == ',') {
                ++At;
                continue;
            }
            Expect('}', "',' or '}' is missing");
            return object;
        }
    }

    TJsonValue ReadArray(int depth)
    {
        TJsonValue array;
        array.Kind = TJsonValue::TKind::Array;
        ++At;
        SkipSpace();
        if (Next() == ']') {
            ++At;
            return array;
        }
        for (;;) {
            array.Items.push_back(ReadValue(depth));
            SkipSpace();
            if (Next() == ',') {
                ++At;
                continue;
            }
            Expect(']', "',' or ']' is missing");
            return array;
        }
    }

    void ReadNumber(TJsonValue& value)
    {
        const std::size_t start = At;
        const auto digits = [&] {
            const std::size_t first = At;
            while (At < Text.size() && Text[At] >= '0' && Text[At] <= '9')
                ++At;
            return At - first;
        };
        if (Next() == '-')
            ++At;
        if (Next() == '0')
            ++At;
        else if (digits() == 0)
            Fail("a number without digits");
        bool whole = true;
        if (Next() == '.') {
            ++At;
            whole = false;
            if (digits() == 0)
                Fail("a number without digits after '.'");
        }
        if (Next() == 'e' || Next() == 'E') {
            ++At;
            whole = false;
            if (Next() == '+' || Next() == '-')
                ++At;
            if (digits() == 0)
                Fail("a number without an exponent");
        }
        value.Kind = TJsonValue::TKind::Number;
        value.Text = Text.substr(start, At - start);
        std::int64_t integer = 0;
        const char* end = Text.data() + At;
        const auto [parsed, error] = std::from_chars(Text.data() + start, end, integer);
        if (whole && error == std::errc() && parsed == end)
            value.Integer = integer;
    }

    std::uint32_t ReadHexQuad()
    {
        if (At + 4 > Text.size())
            Fail("a \\u escape is cut short");
        std::uint32_t code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = Text[At++];
            code <<= 4;
            if (c >= '0' && c <= '9')
                code |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                code |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                code |= static_cast<std::uint32_t>(c - 'A' + 10);
            else
                Fail("a \\u escape with a character that is not hexadecimal");
        }
        return code;
    }

    std::string ReadString()
    {
        ++At;  // the opening quote
        std::string text;
        for (;;) {
            if (At >= Text.size())
                Fail("a text is not closed");
            const char c = Text[At];
            if (c == '"') {
                ++At;
                return text;
            }
            if (static_cast<unsigned char>(c) < 0x20)
                Fail("a control character inside a text");
            if (c != '\\') {
                const std::size_t length = Utf8SequenceLength(Text, At);
                if (length == 0)
                    Fail("invalid UTF-8");
                text.append(Text, At, length);
                At += length;
                continue;
            }
            ++At;
            const char escaped = Next();
            ++At;
            switch (escaped) {
            case '"': text += '"'; break;
            case '\\': text += '\\'; break;
            case '/': text += '/'; break;
            case 'b': text += '\b'; break;
            case 'f': text += '\f'; break;
            case 'n': text += '\n'; break;
            case 'r': text += '\r'; break;
            case 't': text += '\t'; break;
            case 'u': AppendUtf8(text, ReadEscapedCharacter()); break;
            default: --At; Fail("an unknown escape");
            }
        }
    }

    // The character of a \u escape (the "\u" read), joining a surrogate pair.
    std::uint32_t ReadEscapedCharacter()
    {
        const std::uint32_t code = ReadHexQuad();
        if (code >= 0xDC00 && code <= 0xDFFF)
            Fail("a lone low surrogate");
        if (code < 0xD800 || code > 0xDBFF)
            return code;
        if (Text.compare(At, 2, "\\u") != 0)
            Fail("a lone high surrogate");
        At += 2;
        const std::uint32_t low = ReadHexQuad();
        if (low < 0xDC00 || low > 0xDFFF)
            Fail("a high surrogate without its low one");
        return 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }

    const std::string& Text;
    const int MaxDepth;
    std::size_t At = 0;
};

}  // namespace

const TJsonValue* TJsonValue::Member(const std::string& name) const
{
    const auto found =
        std::find_if(Members.begin(), Members.end(), [&](const TJsonMember& member) { return member.Name == name; });
    return found == Members.end() ? nullptr : &found->Value;
}

TJsonValue ReadJson(const std::string& text, int maxDepth)
{
    return TJsonReader(text, maxDepth).ReadWhole();
}

bool IsValidUtf8(const std::string& text)
{
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

std::string JsonQuoted(const std::string& text)
{
    static const char* const Hex = "0123456789abcdef";
    const auto escape = [](std::string& out, std::uint32_t unit) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            out += Hex[(unit >> shift) & 0xF];
    };
    std::string quoted = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '\\') {
            quoted += "\\\\";
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (c >= 0x20 && c < 0x7F && c != '"' && c != '<' && c != '>' && c != '&' && c != '\'') {
            quoted += static_cast<char>(c);
        } else if (c < 0x80) {
            escape(quoted, c);
        } else {
            const std::size_t length = Utf8SequenceLength(text, at);
            if (length == 0) {
                // Not UTF-8: the replacement character stands for the byte.
                escape(quoted, 0xFFFD);
                ++at;
                continue;
            }
            std::uint32_t code = c & (length == 2 ? 0x1Fu : length == 3 ? 0x0Fu : 0x07u);
            for (std::size_t i = 1; i < length; ++i)
                code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3Fu);
            if (code >= 0x10000) {
                escape(quoted, 0xD800 + ((code - 0x10000) >> 10));
                escape(quoted, 0xDC00 + ((code - 0x10000) & 0x3FF));
            } else {
                escape(quoted, code);
            }
            at += length;
            continue;
        }
        ++at;
    }
    return quoted + "\"";
}

}  // namespace tavrin
