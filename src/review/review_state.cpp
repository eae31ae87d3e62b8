#include "review/review_state.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <tuple>

#include "capture/session_progress_files.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/safe_path.h"
#include "core/time_format.h"

namespace quillmer {

namespace {

std::set<std::string> readIDSet(const JsonObjectReader& reader, const char* key) {
    const auto ids = reader.optional<std::vector<std::string>>(key).value_or(std::vector<std::string>{});
    return {ids.begin(), ids.end()};
}

Timestamp nowToTheSecond() {
    return std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
}

void writeState(const std::filesystem::path& exportFolder, const FeedbackReviewState& state) {
    writeFileAtomically(exportFolder / kReviewStateFileName, encodeJSON(state.toJSON()));
}

std::set<std::string> idsAtOrAbove(const GroundedFeedbackReport& report, double threshold) {
    std::set<std::string> ids;
    for (const auto& item : report.items)
        if (item.confidence >= threshold) ids.insert(item.id.toString());
    return ids;
}

bool hasText(const Json& value) {
    if (!value.is_string()) return false;
    return value.get_ref<const std::string&>().find_first_not_of(" \t\r\n\v\f") != std::string::npos;
}

}  // namespace

FeedbackReviewState FeedbackReviewState::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "FeedbackReviewState");
    FeedbackReviewState state;
    state.schemaVersion = reader.optional<int64_t>("schemaVersion").value_or(1);
    state.updatedAt = reader.required<Timestamp>("updatedAt");
    state.includedFeedbackIDs = readIDSet(reader, "includedFeedbackIDs");
    state.visualEvidenceUsefulIDs = readIDSet(reader, "visualEvidenceUsefulIDs");
    const auto mode = reader.optional<std::string>("selectionMode").value_or("manual");
    if (mode != "automatic" && mode != "manual") throw DecodingError("FeedbackReviewState has an unknown selectionMode.");
    state.selectionMode = mode == "automatic" ? SelectionMode::automatic : SelectionMode::manual;
    if (const auto it = json.find("edits"); it != json.end() && !it->is_null()) {
        if (!it->is_object()) throw DecodingError("FeedbackReviewState edits is not an object.");
        for (const auto& [key, value] : it->items()) {
            const JsonObjectReader edit(value, "FeedbackReviewEdit");
            state.edits[key] = {edit.optional<std::string>("component"), edit.optional<std::string>("requestedChange")};
        }
    }
    return state;
}

Json FeedbackReviewState::toJSON() const {
    Json json = Json::object();
    Json editsJSON = Json::object();
    for (const auto& [key, edit] : edits) {
        Json e = Json::object();
        putJSON(e, "component", edit.component);
        putJSON(e, "requestedChange", edit.requestedChange);
        editsJSON[key] = e;
    }
    json["edits"] = editsJSON;
    json["includedFeedbackIDs"] = std::vector<std::string>(includedFeedbackIDs.begin(), includedFeedbackIDs.end());
    json["schemaVersion"] = schemaVersion;
    json["selectionMode"] = selectionMode == SelectionMode::automatic ? "automatic" : "manual";
    putJSON(json, "updatedAt", updatedAt);
    json["visualEvidenceUsefulIDs"] =
        std::vector<std::string>(visualEvidenceUsefulIDs.begin(), visualEvidenceUsefulIDs.end());
    return json;
}

FeedbackReviewState FeedbackReviewState::emptyDefault() {
    FeedbackReviewState state;
    state.updatedAt = nowToTheSecond();
    return state;
}

FeedbackReviewState loadReviewState(const std::filesystem::path& exportFolder) {
    const auto file = exportFolder / kReviewStateFileName;
    std::error_code ignored;
    if (!std::filesystem::exists(file, ignored)) return FeedbackReviewState::emptyDefault();
    return FeedbackReviewState::fromJSON(parseJSON(readWholeFile(file)));
}

FeedbackReviewState syncReviewState(const GroundedFeedbackReport& report, const std::filesystem::path& exportFolder,
                                    double threshold) {
    std::error_code ignored;
    FeedbackReviewState state;
    if (std::filesystem::exists(exportFolder / kReviewStateFileName, ignored)) {
        state = loadReviewState(exportFolder);
        // The user's choices are never overridden by a later analysis run.
        if (state.selectionMode == SelectionMode::manual) return state;
    } else {
        state.schemaVersion = 3;
        state.selectionMode = SelectionMode::automatic;
    }
    state.includedFeedbackIDs = idsAtOrAbove(report, threshold);
    state.visualEvidenceUsefulIDs = state.includedFeedbackIDs;
    state.updatedAt = nowToTheSecond();
    writeState(exportFolder, state);
    return state;
}

FeedbackReviewState saveReviewDecisions(const std::filesystem::path& exportFolder, const ReviewDecisions& decisions) {
    const Json feedback = parseJSON(readWholeFile(exportFolder / kFeedbackFileName));
    if (!feedback.is_object()) throw DecodingError("This file is not a readable Quillmer evidence brief.");
    std::set<std::string> valid;
    if (const auto items = feedback.find("items"); items != feedback.end() && items->is_array())
        for (const auto& item : *items)
            if (item.is_object() && item.contains("id") && item["id"].is_string()) valid.insert(item["id"].get<std::string>());

    FeedbackReviewState state;
    state.schemaVersion = 2;
    state.updatedAt = nowToTheSecond();
    state.selectionMode = SelectionMode::manual;
    for (const auto& id : decisions.includedIDs)
        if (valid.contains(id)) state.includedFeedbackIDs.insert(id);
    for (const auto& id : decisions.usefulIDs)
        if (valid.contains(id)) state.visualEvidenceUsefulIDs.insert(id);
    for (const auto& [id, edit] : decisions.edits) {
        if (!valid.contains(id) || !edit.is_object()) continue;
        const auto component = edit.find("component");
        const auto change = edit.find("requestedChange");
        if (component == edit.end() || change == edit.end() || !hasText(*component) || !hasText(*change)) continue;
        state.edits[id] = {component->get<std::string>(), change->get<std::string>()};
    }
    writeState(exportFolder, state);
    return state;
}

GroundedFeedbackReport readFeedbackReport(const std::filesystem::path& exportFolder) {
    return GroundedFeedbackReport::fromJSON(parseJSON(readWholeFile(exportFolder / kFeedbackFileName)));
}

EvidenceBundleDocument readEvidenceBundle(const std::filesystem::path& exportFolder) {
    return EvidenceBundleDocument::fromJSON(parseJSON(readWholeFile(exportFolder / kEvidenceFileName)));
}

std::map<Uuid, EvidenceBundleDocument::Candidate> candidatesByID(const EvidenceBundleDocument& bundle) {
    std::map<Uuid, EvidenceBundleDocument::Candidate> byID;
    for (const auto& candidate : bundle.candidates) byID.emplace(candidate.id, candidate);
    return byID;
}

std::pair<std::string, std::string> editedComponentAndChange(const GroundedFeedbackItem& item,
                                                             const FeedbackReviewState& state) {
    const auto edit = state.edits.find(item.id.toString());
    if (edit == state.edits.end()) return {item.component, item.requestedChange};
    return {edit->second.component.value_or(item.component), edit->second.requestedChange.value_or(item.requestedChange)};
}

std::optional<FeedbackReviewMoment> makeReviewMoment(
    const GroundedFeedbackItem& item, const std::map<Uuid, EvidenceBundleDocument::Candidate>& candidates,
    const std::filesystem::path& exportFolder, const FeedbackReviewState& state) {
    const auto found = candidates.find(item.candidateID);
    if (found == candidates.end()) return std::nullopt;
    const auto& candidate = found->second;

    std::optional<std::filesystem::path> image;
    for (const auto& cited : item.evidenceFramePaths) {
        const bool isFrame = std::any_of(candidate.frames.begin(), candidate.frames.end(),
                                         [&](const auto& frame) { return frame.path == cited; });
        if (!isFrame) continue;
        // A path from a file on disk must stay inside the export folder.
        if (const auto file = resolveInside(exportFolder, cited)) {
            std::error_code ignored;
            if (std::filesystem::is_regular_file(*file, ignored)) image = *file;
        }
        break;
    }

    FeedbackReviewMoment moment;
    moment.id = item.id.toString();
    std::tie(moment.title, moment.requestedChange) = editedComponentAndChange(item, state);
    moment.timestamp = formatTimestamp(candidate.rangeStartSeconds);
    moment.confidence = static_cast<int>(std::trunc(item.confidence * 100));
    moment.quote = item.quote;
    moment.observed = item.observed;
    moment.evidenceImageURL = image;
    moment.evidenceRange = {candidate.rangeStartSeconds, candidate.rangeEndSeconds};
    return moment;
}

std::vector<FeedbackReviewMoment> loadReviewMoments(const std::filesystem::path& exportFolder) {
    const auto report = readFeedbackReport(exportFolder);
    const auto candidates = candidatesByID(readEvidenceBundle(exportFolder));
    // A damaged decisions file must not hide the findings: the list shows them without edits, and
    // the brief (which needs the decisions) reports the damage instead.
    FeedbackReviewState state;
    try {
        state = loadReviewState(exportFolder);
    } catch (const DecodingError&) {
        state = FeedbackReviewState::emptyDefault();
    }
    std::vector<FeedbackReviewMoment> moments;
    for (const auto& item : report.items)
        if (auto moment = makeReviewMoment(item, candidates, exportFolder, state)) moments.push_back(std::move(*moment));
    return moments;
}

}  // namespace quillmer
