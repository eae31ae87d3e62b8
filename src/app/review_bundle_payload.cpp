#include "app/review_bundle_payload.h"

#include "analysis/meeting_summary.h"
#include "app/native_bridge_error.h"
#include "capture/session_folder.h"
#include "capture/session_progress_files.h"
#include "core/atomic_file.h"
#include "core/percent_encoding.h"
#include "core/safe_path.h"
#include "core/uuid.h"
#include "review/review_state.h"

namespace quillmer {

namespace {

constexpr std::uintmax_t kShownBriefByteLimit = 1 << 20;

// The file's JSON object, or nothing when it is missing, unreadable or not an object.
std::optional<Json> readJSONObject(const std::filesystem::path& file) {
    try {
        Json value = parseJSON(readWholeFile(file));
        if (value.is_object()) return value;
    } catch (const Error&) {
    }
    return std::nullopt;
}

const Json* member(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

Json stringsOf(const Json* value) {
    Json strings = Json::array();
    if (value && value->is_array())
        for (const auto& element : *value)
            if (element.is_string()) strings.push_back(element);
    return strings;
}

Json frameURLs(const std::string& bundleID, const Json& evidence) {
    Json urls = Json::object();
    const Json* candidates = member(evidence, "candidates");
    if (!candidates || !candidates->is_array()) return urls;
    for (const auto& candidate : *candidates) {
        const Json* frames = member(candidate, "frames");
        if (!frames || !frames->is_array()) continue;
        for (const auto& frame : *frames) {
            const Json* path = member(frame, "path");
            if (path && path->is_string())
                urls[path->get<std::string>()] = ReviewRendererScheme::evidenceURL(bundleID, path->get<std::string>());
        }
    }
    return urls;
}

// The session's own transcript, else the copy the export holds.
std::optional<Json> transcriptOf(const Json& evidence, const std::filesystem::path& exportFolder,
                                 const std::filesystem::path& sessionsRoot) {
    const Json* session = member(evidence, "session");
    const Json* id = session ? member(*session, "id") : nullptr;
    if (id && id->is_string()) {
        if (const auto uuid = Uuid::parse(id->get<std::string>())) {
            if (auto transcript = readJSONObject(sessionFolder(sessionsRoot, *uuid) / kTranscriptFileName))
                return transcript;
        }
    }
    const Json* artifact = session ? member(*session, "transcript") : nullptr;
    const Json* path = artifact ? member(*artifact, "path") : nullptr;
    if (path && path->is_string()) {
        if (const auto file = resolveUnderBase(exportFolder, percentEncodedPath(path->get<std::string>())))
            return readJSONObject(*file);
    }
    return std::nullopt;
}

}  // namespace

Json makeBundlePayload(const std::string& bundleID, const std::filesystem::path& exportFolder,
                       ReviewRendererScheme& scheme, const std::filesystem::path& sessionsRoot) {
    auto evidence = readJSONObject(exportFolder / kEvidenceFileName);
    if (!evidence) throw NativeBridgeError(NativeBridgeErrorCase::invalidEvidence);
    scheme.registerEvidenceDirectory(bundleID, exportFolder);

    const auto reviewState = readJSONObject(exportFolder / kReviewStateFileName).value_or(Json::object());
    const Json* edits = member(reviewState, "edits");
    std::error_code ignored;
    Json payload = {
        {"id", bundleID},
        {"displayName", exportFolder.filename().string()},
        {"frameDataURLs", frameURLs(bundleID, *evidence)},
        {"includedFeedbackIDs", stringsOf(member(reviewState, "includedFeedbackIDs"))},
        {"visualEvidenceUsefulIDs", stringsOf(member(reviewState, "visualEvidenceUsefulIDs"))},
        {"reviewEdits", edits && edits->is_object() ? *edits : Json::object()},
        {"implementationBriefReady",
         std::filesystem::exists(exportFolder / kImplementationBriefMarkdownFileName, ignored)},
    };
    if (auto transcript = transcriptOf(*evidence, exportFolder, sessionsRoot)) payload["transcript"] = std::move(*transcript);
    if (auto summary = readJSONObject(exportFolder / kMeetingSummaryJSONFileName)) payload["summary"] = std::move(*summary);
    if (auto feedback = readJSONObject(exportFolder / kFeedbackFileName)) payload["feedback"] = std::move(*feedback);
    // The brief as the agent will read it, so the page can show it; a huge one stays a file.
    try {
        const auto brief = exportFolder / kImplementationBriefMarkdownFileName;
        if (std::filesystem::file_size(brief, ignored) <= kShownBriefByteLimit) payload["implementationBrief"] = readWholeFile(brief);
    } catch (const Error&) {
    }
    if (auto media = scheme.mediaURL(bundleID, exportFolder, sessionsRoot)) payload["mediaURL"] = *media;
    payload["evidence"] = std::move(*evidence);
    return payload;
}

}  // namespace quillmer
