// JSON on standard output, through the core's writer.

#include "JsonWriter.h"

#include "base/Errors.h"
#include "base/Text.h"

#include <cstdio>

namespace vellocar::cli {

std::string PathText(std::string_view path) { return Utf8OrWindows1252(path); }

TJsonWriter StdoutJson(TJsonStyle style) {
    return TJsonWriter(
        [](std::string_view chunk) { return std::fwrite(chunk.data(), 1, chunk.size(), stdout) == chunk.size(); },
        style);
}

void FinishJson(TJsonWriter& json) {
    if (!json.Finish()) throw EWriteError("cannot write the listing to standard output");
}

} // namespace vellocar::cli
