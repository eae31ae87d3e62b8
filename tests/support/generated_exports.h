#pragma once

#include <filesystem>
#include <string>

namespace quillmer::testing {

// Export folders shaped like the ones Quillmer writes (evidence, feedback, summary, brief and
// review state, tiny PNG frames), for serving them to coding agents in tests and benchmarks.
struct GeneratedExport {
    int index = 0;           // a higher index is a later meeting
    bool withBrief = true;   // feedback, summary, review state and brief; false: evidence only
    int candidates = 3;      // evidence moments, three frames each; the brief covers the first three
};

// The id (folder name) of the export with this index.
std::string generatedExportID(int index);
// Writes `root`/<id>/ and returns it.
std::filesystem::path writeGeneratedExport(const std::filesystem::path& root, const GeneratedExport& options);

}  // namespace quillmer::testing
