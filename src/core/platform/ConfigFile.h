#pragma once
// Reading another program's configuration file (Wine's registry, Steam's library list,
// Beamdog's settings) without trusting what stands at its name: only an ordinary file is
// opened, without waiting (a FIFO would block the window before it appears), and only up to a
// size that such a file never reaches (a link to /dev/zero or a huge file would eat memory).

#include "platform/Platform.h"

#include <cstddef>
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

// The same file opened to be read a piece at a time, for a reader whose memory must not grow
// with the file: Read gives up to size bytes, 0 at the end, and never more than the file held
// when it was opened.
class TConfigStream {
public:
    static TConfigStream Open(const std::string& path, std::uint64_t maxBytes);
    bool IsOpen() const { return file_.has_value(); }
    const std::string& Refusal() const { return refusal_; }
    std::uint64_t Remaining() const { return left_; }
    // Raises EReadError when the system fails a read.
    std::size_t Read(char* buffer, std::size_t size);

private:
    std::optional<platform::File> file_;
    std::uint64_t left_ = 0;
    std::string refusal_;
};

} // namespace vellocar
