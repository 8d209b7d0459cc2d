#pragma once
// Reading another program's small configuration file (Wine's registry, Steam's library list,
// Beamdog's settings) without trusting what stands at its name: only an ordinary file is
// opened, without waiting (a FIFO would block the window before it appears), and only up to a
// size that such a file never reaches (a link to /dev/zero or a huge file would eat memory).

#include <cstdint>
#include <optional>
#include <string>

namespace vellocar {

struct TConfigText {
    std::optional<std::string> Text; // the file's bytes, when it was read
    // Why a file that stands at the name was not read ("" when it was, or when there is none).
    std::string Refusal;
};

TConfigText ReadConfigFile(const std::string& path, std::uint64_t maxBytes);

} // namespace vellocar
