// The review decisions and the implementation brief, for scripts: `review` lists or changes which
// grounded items go into the brief, `brief` writes it.
#include "cli/review_commands.h"

#include <iostream>

#include "cli/session_commands.h"
#include "core/atomic_file.h"
#include "platform/application_paths.h"
#include "review/implementation_brief.h"
#include "review/review_state.h"

namespace quillmer::cli {

namespace {

std::optional<std::filesystem::path> exportFolderOf(const std::string& argument) {
    const auto folder = exportsDirectory() / resolveSessionArgument(argument).filename();
    std::error_code missing;
    if (!std::filesystem::is_regular_file(folder / kFeedbackFileName, missing)) return std::nullopt;
    return folder;
}

int noFeedback(const std::string& session) {
    return reportError("\"" + session + "\" has no grounded feedback yet; run quillmer analyze " + session + " first");
}

int runReview(std::span<const std::string> arguments) {
    std::optional<std::string> session;
    std::vector<std::string> include, exclude;
    bool includeAll = false;
    std::vector<std::string>* list = nullptr;
    for (const auto& argument : arguments) {
        if (argument == "--include") list = &include;
        else if (argument == "--exclude") list = &exclude;
        else if (argument == "--include-all") includeAll = true, list = nullptr;
        else if (argument.starts_with("-"))
            return reportError("unexpected argument \"" + argument + "\" (see quillmer review --help)", kExitUsage);
        else if (list) list->push_back(argument);
        else if (!session) session = argument;
        else return reportError("unexpected argument \"" + argument + "\" (see quillmer review --help)", kExitUsage);
    }
    if (!session) return reportError("review takes one SESSION (see quillmer review --help)", kExitUsage);
    if ((includeAll || !include.empty()) + !exclude.empty() > 1)
        return reportError("use one of --include, --exclude or --include-all", kExitUsage);
    try {
        const auto folder = exportFolderOf(*session);
        if (!folder) return noFeedback(*session);
        auto state = loadReviewState(*folder);
        if (includeAll || !include.empty() || !exclude.empty()) {
            if (includeAll)
                for (const auto& item : readFeedbackReport(*folder).items) include.push_back(item.id.toString());
            // IDs are stored upper case; accept them as typed in either case.
            for (auto* ids : {&include, &exclude})
                for (auto& id : *ids)
                    if (const auto uuid = Uuid::parse(id)) id = uuid->toString();
            for (const auto& id : include) state.includedFeedbackIDs.insert(id), state.visualEvidenceUsefulIDs.insert(id);
            for (const auto& id : exclude) state.includedFeedbackIDs.erase(id);
            ReviewDecisions decisions{{state.includedFeedbackIDs.begin(), state.includedFeedbackIDs.end()},
                                      {state.visualEvidenceUsefulIDs.begin(), state.visualEvidenceUsefulIDs.end()},
                                      {}};
            for (const auto& [id, edit] : state.edits) {
                Json json = Json::object();
                putJSON(json, "component", edit.component);
                putJSON(json, "requestedChange", edit.requestedChange);
                decisions.edits[id] = json;
            }
            state = saveReviewDecisions(*folder, decisions);
        }
        for (const auto& moment : loadReviewMoments(*folder))
            std::cout << (state.includedFeedbackIDs.contains(moment.id) ? "[x] " : "[ ] ") << moment.id << "  "
                      << moment.timestamp << "  " << moment.confidence << "%  " << moment.title << "\n";
        return kExitSuccess;
    } catch (const std::exception& error) {
        return reportError(std::string("The review could not be read: ") + error.what());
    }
}

int runBrief(std::span<const std::string> arguments) {
    std::optional<std::string> session;
    bool print = false;
    for (const auto& argument : arguments) {
        if (argument == "--print") print = true;
        else if (!session && !argument.starts_with("-")) session = argument;
        else return reportError("unexpected argument \"" + argument + "\" (see quillmer brief --help)", kExitUsage);
    }
    if (!session) return reportError("brief takes one SESSION (see quillmer brief --help)", kExitUsage);
    try {
        const auto folder = exportFolderOf(*session);
        if (!folder) return noFeedback(*session);
        const auto markdown = generateImplementationBrief(*folder);
        if (print) std::cout << readWholeFile(markdown);
        else std::cout << markdown.string() << "\n";
        return kExitSuccess;
    } catch (const std::exception& error) {
        return reportError(std::string("The implementation brief could not be written: ") + error.what());
    }
}

}  // namespace

Command reviewCommand() {
    return {"review", "list or change which grounded feedback items go into the brief",
            "Usage: quillmer review SESSION [--include ID... | --exclude ID... | --include-all]\n\n"
            "Lists SESSION's grounded feedback items, one a line: [x] when the item goes into the\n"
            "implementation brief, its id, time, confidence and component. --include adds items (their\n"
            "screens count as useful evidence), --exclude removes them, --include-all adds every item;\n"
            "the choice is then yours and later analysis runs no longer change it. Edits made on the\n"
            "review page are kept. Unknown ids are ignored.\n",
            runReview};
}

Command briefCommand() {
    return {"brief", "write the implementation brief for a coding agent",
            "Usage: quillmer brief SESSION [--print]\n\n"
            "Writes implementation-brief.json and implementation-brief.md into SESSION's export from\n"
            "the included grounded feedback items (see quillmer review) and the meeting summary's\n"
            "remaining action items, then prints the Markdown file's path, or with --print its text.\n"
            "Exits 1 when no item is included.\n",
            runBrief};
}

}  // namespace quillmer::cli
