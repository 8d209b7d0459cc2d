#pragma once
// Text bound for a terminal. Names and messages that come from a file are bytes someone else
// chose: an ESC or a lone 0x9b would let a KEY set the terminal's title, move the cursor or
// fake lines of output. Everything such bytes reach on a terminal goes through Escaped.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace vellocar::cli {

// text with every byte that a terminal could act on shown as \xHH (two lower-case hex
// digits): C0 controls, DEL, bytes that are not part of valid UTF-8, and the UTF-8 encodings
// of the C1 controls (U+0080 to U+009F), each of their bytes. Printable ASCII and the rest of
// valid UTF-8 stay as they are, backslashes included ("data\2da.bif" reads as stored), except
// a backslash that starts "\x" and two hex digits: that one is shown as \x5c, so that every
// \xHH in the result stands for the byte HH and for nothing else.
std::string Escaped(std::string_view text);

// How many leading bytes of text read as text on a terminal: printable ASCII, tabs, line ends,
// form feeds and valid UTF-8 that encodes no control. The first byte that a terminal could act
// on, or that is not valid UTF-8, ends the count; so does a UTF-8 sequence that the end of text
// cuts off, which a caller reading in pieces carries over to the next one.
std::size_t TextPrefixLength(std::string_view text);

// Whether stream is a terminal (a console window on Windows).
bool IsTerminal(std::FILE* stream);

} // namespace vellocar::cli
