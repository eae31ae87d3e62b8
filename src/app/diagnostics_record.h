#pragma once

#include <filesystem>
#include <string>

#include "core/iso8601.h"
#include "core/json.h"

namespace quillmer {

// What a diagnostics export holds: the app's version, platform and stage and how many meetings
// it knows, never transcript text, frames, paths or credentials.
Json makeDiagnosticsRecord(const Json& snapshot, Timestamp now);

// Written atomically, readable by its owner only (0600); with `replaceExisting` false only as a new
// file. Throws FileSystemError.
void writeDiagnosticsRecord(const std::filesystem::path& file, const Json& record, bool replaceExisting = true);

// "quillmer-diagnostics-2026-05-04.json" for the local date of `now`.
std::string suggestedDiagnosticsFileName(Timestamp now);

}  // namespace quillmer
