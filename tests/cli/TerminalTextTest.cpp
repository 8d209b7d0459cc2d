// What a terminal is shown of bytes from a file.

#include "TerminalText.h"

#include <gtest/gtest.h>

#include <string>

namespace vellocar::cli {
namespace {

TEST(CliTerminalText, EscapesWhatATerminalCouldActOnAndNothingElse) {
    struct Row {
        const char* what;
        std::string bytes;
        std::string shown;
    };
    const Row rows[] = {
        {"printable ASCII", "data\\2da.bif ~!", "data\\2da.bif ~!"},
        {"C0 controls and DEL", std::string("a\0\x07\n\x1b[2J\x7f", 9), "a\\x00\\x07\\x0a\\x1b[2J\\x7f"},
        {"valid UTF-8, 2 to 4 bytes", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"C1 controls, raw and UTF-8",
         "\x9b"
         "1m \xc2\x9b \xc2\x80 \xc2\xa0",
         "\\x9b1m \\xc2\\x9b \\xc2\\x80 \xc2\xa0"},
        {"broken sequences byte by byte", "\xc3 \xe2\x82 \xf0\x9f\x98", "\\xc3 \\xe2\\x82 \\xf0\\x9f\\x98"},
        {"overlong, surrogate, beyond U+10FFFF", "\xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80",
         "\\xc0\\xaf \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80"},
        {"a backslash that would read as an escape", "\\x1b \\X1b \\x1 \\xg1 \\\\x1B",
         "\\x5cx1b \\X1b \\x1 \\xg1 \\\\x5cx1B"},
    };
    for (const Row& row : rows) EXPECT_EQ(Escaped(row.bytes), row.shown) << row.what;
}

} // namespace
} // namespace vellocar::cli
