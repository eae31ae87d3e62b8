// The page's review decisions and the hand-off made from them.
#include "app/native_bridge_error.h"
#include "app/native_review_bridge.h"
#include "core/atomic_file.h"
#include "review/implementation_brief.h"
#include "review/review_state.h"

namespace quillmer {

namespace {

std::vector<std::string> stringsOf(const Json& value) {
    std::vector<std::string> strings;
    if (value.is_array())
        for (const auto& element : value)
            if (element.is_string()) strings.push_back(element.get<std::string>());
    return strings;
}

}  // namespace

// Arguments: bundle id, included ids, edits, visual-evidence-useful ids. Ids and edits that do not
// name an item of the bundle's feedback.json are dropped when saving.
std::filesystem::path NativeReviewBridge::saveReview(const Json& args) {
    const auto folder = openBundleFolder(args);
    ReviewDecisions decisions{stringsOf(args.size() > 1 ? args[1] : Json()), stringsOf(args.size() > 3 ? args[3] : Json()), {}};
    if (args.size() > 2 && args[2].is_object())
        for (const auto& [id, edit] : args[2].items()) decisions.edits[id] = edit;
    try {
        saveReviewDecisions(folder, decisions);
    } catch (const DecodingError&) {
        throw NativeBridgeError(NativeBridgeErrorCase::invalidEvidence);
    }
    return folder;
}

std::filesystem::path NativeReviewBridge::openBundleFolder(const Json& args) const {
    const auto found = args.empty() || !args[0].is_string() ? openBundles_.end() : openBundles_.find(args[0].get<std::string>());
    if (found == openBundles_.end()) throw NativeBridgeError(NativeBridgeErrorCase::bundleNotOpen);
    return found->second;
}

void NativeReviewBridge::reviewSave(const Json& args, const Reply& reply) {
    saveReview(args);
    reply->succeed(nullptr);
}

void NativeReviewBridge::reviewCreateHandoff(const Json& args, const Reply& reply) {
    const auto folder = saveReview(args);
    try {
        generateImplementationBrief(folder);
    } catch (const ImplementationBriefError&) {
        throw NativeBridgeError(NativeBridgeErrorCase::missingFeedback);
    }
    const Json brief = parseJSON(readWholeFile(folder / kImplementationBriefJSONFileName));
    const auto items = brief.find("items");
    reply->succeed(Json{{"itemCount", items != brief.end() && items->is_array() ? items->size() : 0}});
}

void NativeReviewBridge::reviewCopyHandoff(const Json& args, const Reply& reply) {
    const auto brief = openBundleFolder(args) / kImplementationBriefMarkdownFileName;
    const auto prompt = "Implement the evidence-grounded Quillmer brief at " + brief.string() +
                        ". Stay within its requested scope; consult the cited transcript and screens only when "
                        "clarification is needed.";
    if (!dependencies_.host.copyText(prompt)) throw NativeBridgeError(NativeBridgeErrorCase::invalidText);
    reply->succeed(nullptr);
}

}  // namespace quillmer
