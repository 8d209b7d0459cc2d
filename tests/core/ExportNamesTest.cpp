#include "names/ExportNames.h"

#include <gtest/gtest.h>

namespace vellocar {
namespace {

TEST(ExportNames, DeviceNamesWithAndWithoutExtension) {
    for (const char* name : {"con", "CON.txt", "nul.2da", "Aux.", "prn.a.b", "COM1.nss", "lpt9", "con .txt", "COM\xB9",
                             "com\xB2.txt", "LPT\xB3.nss", "conin$", "CONOUT$.txt", "com0.txt", "LPT0"})
        EXPECT_TRUE(UnsafeExportNameReason(name)) << name;
    for (const char* name :
         {"com10.txt", "lpt.txt", "console.txt", "xcon.txt", "nul_.2da", "a.con", "com\xB4", "lpt\xB0"})
        EXPECT_FALSE(UnsafeExportNameReason(name)) << name;
}

TEST(ExportNames, SeparatorsControlBytesAndReservedCharacters) {
    for (const char* name : {"../x.txt", "a/b.txt", "a\\b.txt", "c:x.txt", ".", "..", "", "a\x01.txt", "a\x7F.txt",
                             "a*.txt", "a?.txt", "a\".txt", "a<.txt", "a>.txt", "a|.txt"})
        EXPECT_TRUE(UnsafeExportNameReason(name)) << name;
    // Blanks, dots, dashes, mixed case and bytes above 127 are ordinary game names.
    for (const char* name : {"My File.v2-x.nss", "...txt", "a..2da", "x.", "\xE9t\xE9.txt", "abcdefghijklmnop.2da"})
        EXPECT_FALSE(UnsafeExportNameReason(name)) << name;
}

} // namespace
} // namespace vellocar
