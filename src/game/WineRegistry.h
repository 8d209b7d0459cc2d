#pragma once
// The game's registry value as a Wine prefix keeps it. On Linux the game (and its installer)
// runs under Wine, which stores HKEY_LOCAL_MACHINE as a text file, "system.reg", in the prefix.
// These functions read one string value from that file and turn its Windows path into the
// Linux path it stands for inside the prefix.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vellocar::game {

// The prefix Wine uses: $WINEPREFIX when set, else ~/.wine; empty when neither is known.
std::string WinePrefix();

// The string value `value` under HKEY_LOCAL_MACHINE\`key` (e.g. "SOFTWARE\BioWare\NWN\Neverwinter")
// in the prefix's system.reg, looking also in the 32-bit view (SOFTWARE\Wow6432Node\...) where a
// 32-bit installer writes. Key and value names match without regard to case. The text is
// unescaped, ends at its first zero character, and a drive path is mapped into the prefix
// (see MapWindowsPath). An expandable string is taken as stored.
//
// Nothing when the file, the key or the value is missing. An empty value of any type gives "".
// A non-empty value of a non-string type raises EVellocarError "Invalid data type for '<value>'".
// The file is read only when it is an ordinary file of at most 64 MiB; anything else (a FIFO, a
// link to a device, a huge file) is passed over with a note on stderr, as if it were missing.
std::optional<std::string> ReadWineRegistryString(const std::string& prefix, const std::string& key,
                                                  const std::string& value);

// The bytes of a system.reg, a piece at a time: how many it put into buffer (at most size), 0 at
// the end.
using TRegistryBytes = std::function<std::size_t(char* buffer, std::size_t size)>;

// The same lookup in the text of a system.reg, without mapping the path: the value as stored.
// The text is read a piece at a time and only the value sought is kept whole, so the memory
// taken follows that value, not the file.
std::optional<std::string> WineRegistryValue(const TRegistryBytes& bytes, const std::string& key,
                                             const std::string& value);
std::optional<std::string> WineRegistryValue(std::string_view systemReg, const std::string& key,
                                             const std::string& value);

// The Linux path for a Windows path of the prefix: "C:\x\y" -> "<prefix>/drive_c/x/y"; another
// drive letter through the prefix's dosdevices/<letter>: link ("Z:\home\u" -> "/home/u" when z:
// points at "/"); a drive with no mapping gives "". Any other path has only its backslashes
// turned into slashes.
std::string MapWindowsPath(const std::string& prefix, const std::string& windowsPath);

} // namespace vellocar::game
