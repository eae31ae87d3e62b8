#include "support/export_builders.h"

#include <cstdio>

namespace quillmer::testing {

namespace {

namespace fs = std::filesystem;

// A valid 1 × 1 PNG; the last byte of its pixel data varies so every frame has its own digest.
std::string framePNG(int seed) {
    static const unsigned char png[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
        0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f, 0x15, 0xc4, 0x89, 0x00, 0x00, 0x00,
        0x0d, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xf0, 0x1f, 0x00, 0x05, 0x00, 0x01, 0xff,
        0x89, 0x99, 0x3d, 0x1d, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    std::string bytes(reinterpret_cast<const char*>(png), sizeof png);
    bytes += std::string("seed") + std::to_string(seed);  // trailing bytes after IEND: still decodable
    return bytes;
}

const char* kComponents[] = {"Header", "Export button", "Logo", "Report table", "Settings page"};

}  // namespace

std::string generatedExportID(int index) {
    char id[40];
    std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", index);
    return id;
}

fs::path writeGeneratedExport(const fs::path& root, const GeneratedExport& options) {
    const std::string id = generatedExportID(options.index);
    const fs::path folder = root / id;
    char date[32];
    std::snprintf(date, sizeof date, "2026-%02d-%02dT%02d:00:00Z", 1 + options.index / 672 % 12,
                  1 + options.index / 24 % 28, options.index % 24);

    Json segments = Json::array();
    for (int s = 0; s < 12; ++s)
        segments.push_back({{"id", "A0000000-0000-4000-8000-" + std::string(12 - std::to_string(s).size(), '0') + std::to_string(s)},
                            {"startSeconds", s * 5.0}, {"durationSeconds", 4.5},
                            {"text", s % 4 == 0 ? "You need to fix the " + std::string(kComponents[s / 4]) + " here, it looks wrong."
                                                : "We talked about the quarterly rollout plan and the sandbox import."}});
    const std::string transcript = encodeJSON({{"schemaVersion", 1}, {"createdAt", date}, {"audioFile", "system-audio.m4a"},
                                               {"sourcePTSOffsetSeconds", 0}, {"localeIdentifier", "en-US"}, {"segments", segments}});
    writeTestFile(folder / "transcript.json", transcript);

    Json candidates = Json::array(), items = Json::array(), briefItems = Json::array(), included = Json::array();
    for (int c = 0; c < options.candidates; ++c) {
        char candidateID[40], itemID[40];
        std::snprintf(candidateID, sizeof candidateID, "C0000000-0000-4000-8000-%012d", c);
        std::snprintf(itemID, sizeof itemID, "F0000000-0000-4000-8000-%012d", c);
        Json frames = Json::array();
        for (int f = 0; f < 3; ++f) {
            const std::string path = "frames/candidate-" + std::to_string(c) + "-" + std::to_string(f) + ".png";
            const auto frame = writeFrame(folder, path, framePNG(options.index * 10 + c * 3 + f));
            frames.push_back({{"path", frame.path}, {"sha256", frame.sha256}, {"byteCount", frame.byteCount}});
        }
        const std::string context = segments[c % 3 * 4]["text"];
        candidates.push_back({{"id", candidateID}, {"rangeStartSeconds", c * 20.0}, {"rangeEndSeconds", c * 20.0 + 8},
                              {"trigger", "here"}, {"transcriptContext", context}, {"frames", frames},
                              {"visualAnchor", {{"x", 0.25}, {"y", 0.5}, {"width", 0.1}, {"height", 0.05}}}});
        if (c >= 3) continue;
        Json item = {{"id", itemID}, {"candidateID", candidateID}, {"component", kComponents[c]},
                     {"observed", "The " + std::string(kComponents[c]) + " looks wrong."},
                     {"requestedChange", "Fix the " + std::string(kComponents[c]) + "."}, {"quote", context},
                     {"confidence", 0.9}, {"evidenceFramePaths", {frames[1]["path"]}}};
        items.push_back(item);
        included.push_back(itemID);
        Json briefFrames = Json::array();
        for (const auto& frame : frames)
            briefFrames.push_back({{"path", frame["path"]}, {"sha256", frame["sha256"]}, {"byteCount", frame["byteCount"]},
                                   {"kind", "atMoment"}, {"modelCited", frame["path"] == frames[1]["path"]}});
        briefItems.push_back({{"id", itemID}, {"candidateID", candidateID}, {"component", item["component"]},
                              {"observed", item["observed"]}, {"requestedChange", item["requestedChange"]}, {"quote", context},
                              {"transcriptContext", context}, {"trigger", "here"}, {"confidence", 0.9},
                              {"rangeStartSeconds", c * 20.0}, {"rangeEndSeconds", c * 20.0 + 8}, {"evidenceFrames", briefFrames}});
    }
    writeTestFile(folder / "evidence.json",
          encodeJSON({{"schemaVersion", 1}, {"exportedAt", date}, {"candidates", candidates},
                      {"session", {{"id", id}, {"capturedAt", date}, {"displaySize", {{"width", 1280}, {"height", 720}}},
                                   {"transcript", {{"path", "transcript.json"}, {"sha256", sha256Hex(transcript)},
                                                   {"byteCount", transcript.size()}}}}}}));
    writeTestFile(folder / "evidence.md", "# Quillmer evidence brief\n\n- Session: `" + id + "`\n");
    if (!options.withBrief) return folder;

    writeTestFile(folder / "feedback.json", encodeJSON({{"schemaVersion", 2}, {"provider", "gemini"}, {"model", "gemini-3.6-flash"},
                                                        {"createdAt", date}, {"items", items}}));
    writeTestFile(folder / "review-state.json", encodeJSON({{"schemaVersion", 3}, {"updatedAt", date}, {"includedFeedbackIDs", included},
                                                            {"visualEvidenceUsefulIDs", included}, {"selectionMode", "automatic"},
                                                            {"edits", Json::object()}}));
    const std::string summaryMarkdown = "# Meeting summary\n\nMeeting " + std::to_string(options.index) +
                                        " reviewed the report page.\n\n## Action items\n\n- Fix the Header.\n- Send the sandbox import.\n";
    writeTestFile(folder / "meeting-summary.md", summaryMarkdown);
    writeTestFile(folder / "meeting-summary.json",
          encodeJSON({{"schemaVersion", 1}, {"createdAt", date}, {"provider", "local-fallback"}, {"model", "transcript-rules-v1"},
                      {"overview", "Meeting " + std::to_string(options.index) + " reviewed the report page."},
                      {"topics", {{{"title", "Report page review " + std::to_string(options.index)}, {"detail", "Header and logo."}}}},
                      {"decisions", {"We agreed to ship on Friday."}}, {"actionItems", {"Fix the Header.", "Send the sandbox import."}},
                      {"unresolvedQuestions", {"Who owns the logo?"}}, {"markdown", summaryMarkdown}}));
    writeTestFile(folder / "implementation-brief.json",
          encodeJSON({{"schemaVersion", 4}, {"createdAt", date}, {"sourceFeedbackFile", "feedback.json"},
                      {"sourceEvidenceFile", "evidence.json"}, {"transcriptFile", "transcript.json"}, {"items", briefItems},
                      {"additionalTranscriptActions", {"Send the sandbox import."}}}));
    std::string brief = "# Quillmer implementation brief\n\nMeeting " + std::to_string(options.index) + ".\n";
    for (const auto& item : briefItems)
        brief += "\n## " + item["component"].get<std::string>() + " · é\n\n> " + item["quote"].get<std::string>() +
                 "\n\n**Requested change**\n" + item["requestedChange"].get<std::string>() + "\n";
    writeTestFile(folder / "implementation-brief.md", brief);
    return folder;
}

}  // namespace quillmer::testing
