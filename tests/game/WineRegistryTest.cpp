#include "WineRegistry.h"

#include "base/Errors.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

using vellocar::game::MapWindowsPath;
using vellocar::game::ReadWineRegistryString;
using vellocar::test::TempDir;
using vellocar::test::WriteFile;

namespace {

const std::string kKey = "SOFTWARE\\BioWare\\NWN\\Neverwinter";

// A system.reg as Wine writes it, around the given sections.
void WriteSystemReg(const TempDir& prefix, const std::string& sections) {
    WriteFile(prefix / "system.reg",
              "WINE REGISTRY Version 2\n"
              ";; All keys relative to \\\\Machine\n\n"
              "#arch=win64\n\n"
              "[Software\\\\Microsoft\\\\Windows] 1700000000\n"
              "#time=1da0000000000000\n"
              "\"Location\"=\"C:\\\\Wrong\"\n\n" +
                  sections);
}

std::optional<std::string> Read(const TempDir& prefix) {
    return ReadWineRegistryString(prefix.path().string(), kKey, "Location");
}

std::string DriveC(const TempDir& prefix) { return (prefix.path() / "drive_c").string(); }

} // namespace

TEST(WineRegistry, ReadsTheLocationAndMapsDriveCIntoThePrefix) {
    TempDir prefix;
    WriteSystemReg(prefix,
                   "[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1700000000\r\n"
                   "#time=1da0000000000000\r\n"
                   "\"Other\"=\"C:\\\\Other\"\r\n"
                   "\"Location\"=\"C:\\\\NeverwinterNights\\\\NWN\"\r\n");
    EXPECT_EQ(Read(prefix), DriveC(prefix) + "/NeverwinterNights/NWN");
}

TEST(WineRegistry, MatchesKeyAndValueNamesWithoutRegardToCase) {
    TempDir prefix;
    WriteSystemReg(prefix,
                   "[SOFTWARE\\\\bioware\\\\nwn\\\\NEVERWINTER] 1700000000\n"
                   "\"LOCATION\"=\"c:\\\\NWN\"\n");
    EXPECT_EQ(Read(prefix), DriveC(prefix) + "/NWN");
}

TEST(WineRegistry, LooksInTheThirtyTwoBitViewAfterTheNativeOne) {
    TempDir prefix;
    const std::string wow =
        "[Software\\\\Wow6432Node\\\\BioWare\\\\NWN\\\\Neverwinter] 1\n"
        "\"Location\"=\"C:\\\\GOG\\\\NWN\"\n\n";
    WriteSystemReg(prefix, wow);
    EXPECT_EQ(Read(prefix), DriveC(prefix) + "/GOG/NWN");

    // Both present: the native view wins, wherever its section lies in the file.
    WriteSystemReg(prefix,
                   wow +
                       "[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1\n"
                       "\"Location\"=\"C:\\\\Native\"\n");
    EXPECT_EQ(Read(prefix), DriveC(prefix) + "/Native");
}

TEST(WineRegistry, GivesNothingWhenFileKeyOrValueIsMissing) {
    TempDir prefix;
    EXPECT_EQ(Read(prefix), std::nullopt) << "no system.reg";
    EXPECT_EQ(ReadWineRegistryString("", kKey, "Location"), std::nullopt) << "no prefix";

    WriteSystemReg(prefix, "");
    EXPECT_EQ(Read(prefix), std::nullopt) << "no key";

    // The value only in a subkey, and only after the key's own section has ended.
    WriteSystemReg(prefix,
                   "[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1\n"
                   "\"Version\"=\"1.69\"\n\n"
                   "[Software\\\\BioWare\\\\NWN\\\\Neverwinter\\\\Patch] 1\n"
                   "\"Location\"=\"C:\\\\Patch\"\n");
    EXPECT_EQ(Read(prefix), std::nullopt);
}

TEST(WineRegistry, PassesOverWhatIsNoOrdinaryFileOfASensibleSize) {
    const struct {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
    } cases[] = {
        {"a FIFO, which would block", [](const auto& at) { ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); }},
        {"a link to /dev/zero, which never ends",
         [](const auto& at) { std::filesystem::create_symlink("/dev/zero", at); }},
        {"a file past 64 MiB",
         [](const auto& at) {
             WriteFile(at.string(), std::string("WINE REGISTRY Version 2\n"));
             std::filesystem::resize_file(at, (64u << 20) + 1);
         }},
        {"a value longer than any path, read no further",
         [](const auto& at) {
             WriteFile(at.string(),
                       "[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1\n\"Location\"=\"C:\\\\" +
                           std::string(300 << 10, 'a') + "\"\n");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir prefix;
        c.make(prefix.path() / "system.reg");
        testing::internal::CaptureStderr();
        EXPECT_EQ(Read(prefix), std::nullopt);
        const std::string note = testing::internal::GetCapturedStderr();
        EXPECT_NE(note.find("passing over the Wine registry: "), std::string::npos) << note;
        EXPECT_NE(note.find("system.reg"), std::string::npos) << note;
    }
}

TEST(WineRegistry, UnescapesTheStoredText) {
    TempDir prefix;
    // \" and \\ as themselves, \xHHHH as UTF-8, octal escapes, and the text ends at a zero.
    WriteSystemReg(prefix,
                   "[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1\n"
                   "\"Location\"=\"C:\\\\Jeux \\\"NWN\\\"\\\\Caf\\x00e9\\0\\\\junk\"\n");
    EXPECT_EQ(Read(prefix), DriveC(prefix) + "/Jeux \"NWN\"/Caf\xC3\xA9");

    // A name that itself holds escapes.
    WriteSystemReg(prefix,
                   "[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1\n"
                   "\"Lo\\x0063ation\"=\"C:\\\\Escaped\"\n");
    EXPECT_EQ(Read(prefix), DriveC(prefix) + "/Escaped");

    // Bytes that Wine would have escaped: well-formed UTF-8 as it is, a stray byte as U+FFFD.
    WriteSystemReg(prefix, "[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1\n\"Location\"=\"C:\\\\Caf\xC3\xA9\xFF\"\n");
    EXPECT_EQ(Read(prefix), DriveC(prefix) + "/Caf\xC3\xA9\xEF\xBF\xBD");
}

TEST(WineRegistry, TakesStringKindsAsStoredAndRefusesOtherKinds) {
    TempDir prefix;
    auto with = [&](const std::string& data) {
        WriteSystemReg(prefix, "[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1\n\"Location\"=" + data + "\n");
        return Read(prefix);
    };
    // Expandable: nothing expanded.
    EXPECT_EQ(with("str(2):\"%ProgramFiles%\\\\NWN\""), "%ProgramFiles%/NWN");
    // A string stored as UTF-16 bytes, continued over two lines.
    EXPECT_EQ(with("hex(1):43,00,3a,00,5c,00,4e,00,\\\n  57,00,4e,00,00,00"), DriveC(prefix) + "/NWN");
    // Empty values of any kind read as empty.
    EXPECT_EQ(with("\"\""), "");
    EXPECT_EQ(with("hex:"), "");

    for (const std::string data :
         {"dword:00000001", "hex:01,02", "str(7):\"C:\\\\a\\0C:\\\\b\\0\"", "hex(7):43,00,00,00,00,00"}) {
        try {
            with(data);
            ADD_FAILURE() << data << " was accepted";
        } catch (const vellocar::EVellocarError& e) {
            EXPECT_STREQ(e.what(), "Invalid data type for 'Location'") << data;
        }
    }
}

TEST(WineRegistry, MapsDriveLettersThroughThePrefixDosDevices) {
    TempDir prefix;
    const std::string p = prefix.path().string();
    std::filesystem::create_directories(prefix.path() / "dosdevices");
    std::filesystem::create_directories(prefix.path() / "drive_d");
    std::filesystem::create_directory_symlink("../drive_d", prefix.path() / "dosdevices" / "d:");
    std::filesystem::create_directory_symlink("/", prefix.path() / "dosdevices" / "z:");

    EXPECT_EQ(MapWindowsPath(p, "D:\\Games\\NWN"), p + "/drive_d/Games/NWN");
    EXPECT_EQ(MapWindowsPath(p, "z:\\home\\user\\nwn"), "/home/user/nwn");
    EXPECT_EQ(MapWindowsPath(p, "Z:\\"), "/");
    EXPECT_EQ(MapWindowsPath(p, "E:\\NWN"), "") << "a drive the prefix does not map";

    // A trailing separator stays; a drive-relative path and a bare drive work too.
    EXPECT_EQ(MapWindowsPath(p, "C:\\NWN\\"), p + "/drive_c/NWN/");
    EXPECT_EQ(MapWindowsPath(p, "C:NWN"), p + "/drive_c/NWN");
    EXPECT_EQ(MapWindowsPath(p, "C:"), p + "/drive_c");
    // Not a drive path: only the separators change.
    EXPECT_EQ(MapWindowsPath(p, "NWN\\data"), "NWN/data");
}

TEST(WineRegistry, PrefixComesFromWinePrefixElseHome) {
    const char* savedPrefix = std::getenv("WINEPREFIX");
    const char* savedHome = std::getenv("HOME");
    const std::string prefixValue = savedPrefix ? savedPrefix : "";
    const std::string homeValue = savedHome ? savedHome : "";

    setenv("WINEPREFIX", "/tmp/some-prefix", 1);
    EXPECT_EQ(vellocar::game::WinePrefix(), "/tmp/some-prefix");
    unsetenv("WINEPREFIX");
    setenv("HOME", "/home/modder", 1);
    EXPECT_EQ(vellocar::game::WinePrefix(), "/home/modder/.wine");

    if (savedPrefix) setenv("WINEPREFIX", prefixValue.c_str(), 1);
    if (savedHome)
        setenv("HOME", homeValue.c_str(), 1);
    else
        unsetenv("HOME");
}
