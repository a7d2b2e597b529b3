#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin {

// JSON that is not what RFC 8259 allows, or that goes past the reader's
// limits; the text says what and where ("at byte 17").
class EJsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TJsonMember;

// One JSON value as read. Texts hold UTF-8; numbers keep their text, and
// their value when they are whole and fit 64 bits.
struct TJsonValue {
    enum class TKind { Null, Boolean, Number, Text, Array, Object };

    TKind Kind = TKind::Null;
    bool Boolean = false;
    std::string Text;  // a text's characters, or a number as written
    std::optional<std::int64_t> Integer;
    std::vector<TJsonValue> Items;
    // In the order written; a name never appears twice.
    std::vector<TJsonMember> Members;

    // The member of an object, or nullptr.
    const TJsonValue* Member(const std::string& name) const;
};

struct TJsonMember {
    std::string Name;
    TJsonValue Value;
};

// Reads one JSON value that fills the whole text (white space around it
// allowed). Strict: invalid UTF-8, a lone surrogate escape, a control
// character inside a text, a repeated member name, or nesting deeper than
// maxDepth raise EJsonError, so that no two readers can see different things
// in one text.
TJsonValue ReadJson(const std::string& text, int maxDepth = 16);

// The text as a JSON string, quotes included, in ASCII only: everything
// outside printable ASCII, and < > & ' ", is written as \uXXXX, so the
// result is also safe inside a script element or a mail body.
std::string JsonQuoted(const std::string& text);

// Whether the text is valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(const std::string& text);

}  // namespace tavrin
