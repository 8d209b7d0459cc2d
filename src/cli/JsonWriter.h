#pragma once
// JSON for scripts: the form in which paths of this machine go into it, and the writer to
// standard output that list --json, find --json and cat --json use (the writer is the core's,
// base/Json.h).

#include "base/Json.h"

#include <string>
#include <string_view>

namespace vellocar::cli {

using vellocar::TJsonWriter;

// A path as JSON text: itself when it is valid UTF-8, else decoded as Windows-1252.
std::string PathText(std::string_view path);

// A writer that hands its chunks to standard output, laid out as style says.
TJsonWriter StdoutJson(TJsonStyle style = {});

// Finishes a document written by StdoutJson; raises EWriteError when any of it could not be
// written.
void FinishJson(TJsonWriter& json);

} // namespace vellocar::cli
