#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrin {

// Texts from outside the station (page buffer headers, file names, settings,
// customers' answers, server replies) may hold bytes that a terminal or a
// log viewer obeys rather than shows: a colour change, a title change, a
// cursor move, a line that seems to end early, or a bidirectional mark that
// shows the line reversed. Before such a text is printed it is made safe:
//
// - the C0 controls and DEL become "\t", "\n", "\r" or "\x1b" (two
//   lower-case hexadecimal digits), ESC among them;
// - the C1 controls (U+0080 to U+009F) and the bidirectional controls
//   (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) become
//   "\u202e" (four lower-case hexadecimal digits);
// - every byte that is not part of valid UTF-8 (a stray continuation byte,
//   a cut or overlong sequence, a surrogate, a code point past U+10FFFF)
//   becomes "\xff";
// - every other character, a backslash included, stays as it is.
//
// The result is meant for reading, not for reading back: a backslash of the
// text itself is not doubled.
std::string TerminalText(std::string_view text);

// The same, for a text of several lines: its line feeds stay line feeds.
std::string TerminalLines(std::string_view text);

// At most maxCharacters characters of the text (an invalid byte counts as
// one), made safe as TerminalText does, followed by "..." when the text was
// longer: a text of any size quoted in a log line stays short.
std::string TerminalExcerpt(std::string_view text, std::size_t maxCharacters);

}  // namespace tavrin
