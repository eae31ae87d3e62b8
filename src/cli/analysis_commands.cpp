// The only commands that can send anything off this computer: `plan` shows what would go where,
// `analyze` sends the approved evidence, `retry` sends again what failed.
#include "cli/analysis_commands.h"

#include <atomic>
#include <chrono>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

#include "analysis/grounded_feedback.h"
#include "analysis/remote_analysis_authorizer.h"
#include "capture/session_progress_files.h"
#include "cli/engine_session.h"
#include "cli/session_commands.h"
#include "core/error.h"
#include "engine/evidence_analysis_stage.h"
#include "platform/application_paths.h"

namespace quillmer::cli {

namespace {

struct SessionFolders {
    std::filesystem::path session;
    std::optional<std::filesystem::path> exportFolder;
};

SessionFolders resolveFolders(const std::string& argument) {
    SessionFolders folders{resolveSessionArgument(argument), std::nullopt};
    const auto exportFolder = exportsDirectory() / folders.session.filename();
    std::error_code missing;
    if (std::filesystem::is_regular_file(exportFolder / kEvidenceFileName, missing)) folders.exportFolder = exportFolder;
    return folders;
}

std::string passLine(const RemoteAnalysisPassPlan& pass) {
    std::ostringstream line;
    if (pass.pass == RemoteAnalysisPass::evidence)
        line << "evidence: " << pass.candidateCount << " evidence moments with " << pass.frameCount << " frames ("
             << pass.frameByteCount << " bytes) and their transcript context (" << pass.transcriptCharacterCount
             << " characters)";
    else
        line << "summary: the full transcript, " << pass.transcriptSegmentCount << " segments ("
             << pass.transcriptCharacterCount << " characters)";
    return line.str();
}

int runPlan(std::span<const std::string> arguments) {
    if (arguments.size() != 1) return reportError("plan takes one SESSION (see quillmer plan --help)", kExitUsage);
    const auto folders = resolveFolders(arguments[0]);
    const auto plan = planRemoteAnalysis(folders.session.filename().string(), folders.session, folders.exportFolder,
                                         configuredAnalysisConnection().route);
    if (plan.staysOnThisComputer) {
        std::cout << "Recipient: " << plan.recipient.providerName << " (" << plan.recipient.providerHost << ")\n";
        if (plan.note) std::cout << *plan.note << "\n";
        for (const auto& pass : plan.passes) std::cout << "Would analyse here, " << passLine(pass) << "\n";
        std::cout << "Nothing leaves this computer, so nothing needs your approval.";
        if (plan.canSend) std::cout << " To analyse it (or again): quillmer analyze " << arguments[0];
        std::cout << "\n";
        return kExitSuccess;
    }
    std::cout << "Recipient: " << plan.recipient.providerName << "\n"
              << "Host: " << plan.recipient.providerHost << "\n";
    for (const auto& pass : plan.passes) std::cout << "Would send, " << passLine(pass) << "\n";
    if (!plan.canSend) {
        std::cout << "Nothing can be sent: " << plan.blockedDetail.value_or("") << "\n";
        return kExitSuccess;
    }
    std::cout << "Nothing has been sent. To send, run: quillmer analyze " << arguments[0] << " --approve evidence\n";
    return kExitSuccess;
}

// Runs the analysis on a worker thread so that Ctrl-C, seen here, can cancel it.
int runAnalysis(const AnalysisConnection& connection, const SessionFolders& folders, EvidenceAnalysisScope scope,
                const char* errorPrefix) {
    installStopHandlers();
    std::mutex output;
    std::optional<AnalysisOutcome> outcome;
    std::exception_ptr failure;
    std::atomic<bool> finished = false;
    std::stop_source stop;
    std::jthread worker([&] {
        try {
            outcome = analyzeExportedEvidence(
                connection, *folders.exportFolder, scope, stop.get_token(),
                [&](const CandidateOutcome& candidate, size_t finished, size_t total) {
                    const std::lock_guard lock(output);
                    std::cerr << "[" << finished << "/" << total << "] " << candidate.candidateID.toString() << ": "
                              << (candidate.diagnostic ? "failed: " + *candidate.diagnostic
                                                       : candidate.item ? "grounded feedback" : "nothing grounded")
                              << "\n";
                });
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    while (!finished) {
        if (stopRequested && !stop.stop_requested()) {
            const std::lock_guard lock(output);
            std::cerr << "Stopping safely…\n";
            stop.request_stop();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    worker.join();
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const CancellationError&) {
            return reportError("Stopped. Nothing more was sent.");
        } catch (const std::exception& error) {
            return reportError(std::string(errorPrefix) + error.what());
        }
    }
    std::cout << outcome->feedbackCount << " grounded feedback items, " << outcome->unfinishedAnalysisCount
              << " unfinished\n"
              << (*folders.exportFolder / kFeedbackMarkdownFileName).string() << "\n";
    if (outcome->implementationBriefURL) std::cout << outcome->implementationBriefURL->string() << "\n";
    return kExitSuccess;
}

int runAnalyze(std::span<const std::string> arguments) {
    std::optional<std::string> session, approval;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--approve" && i + 1 < arguments.size()) approval = arguments[++i];
        else if (arguments[i].starts_with("--approve=")) approval = arguments[i].substr(10);
        else if (!session && !arguments[i].starts_with("-")) session = arguments[i];
        else return reportError("unexpected argument \"" + arguments[i] + "\" (see quillmer analyze --help)", kExitUsage);
    }
    if (!session) return reportError("analyze takes one SESSION (see quillmer analyze --help)", kExitUsage);
    // On this computer nothing is sent, so there is nothing to approve.
    const AnalysisConnection connection = configuredAnalysisConnection();
    if (connection.route.staysOnThisComputer()) approval = approval.value_or("evidence");
    if (!approval)
        return reportError("nothing was sent: analyze sends evidence off this computer only with --approve evidence "
                           "(see quillmer plan " + *session + ")",
                           kExitUsage);
    Json names = Json::array();
    std::istringstream list(*approval);
    for (std::string name; std::getline(list, name, ',');) names.push_back(name);
    const auto passes = parseRemoteAnalysisPasses(names);
    if (!passes) return reportError("--approve takes evidence, summary or evidence,summary; nothing was sent", kExitUsage);
    if (!passes->contains(RemoteAnalysisPass::evidence))
        return reportError("analyze sends the evidence pass; the summary pass is sent by quillmer summary " + *session +
                           " --approve summary. Nothing was sent");
    const auto folders = resolveFolders(*session);
    if (!folders.exportFolder)
        return reportError("\"" + *session + "\" has no exported evidence yet; run quillmer process " + *session + " first");
    return runAnalysis(connection, folders, EvidenceAnalysisScope::firstCandidates,
                       "Evidence analysis could not complete: ");
}

int runRetry(std::span<const std::string> arguments) {
    if (arguments.size() != 1) return reportError("retry takes one SESSION (see quillmer retry --help)", kExitUsage);
    const auto folders = resolveFolders(arguments[0]);
    const auto unfinished =
        folders.exportFolder ? unfinishedCandidateIDs(*folders.exportFolder) : std::set<Uuid>{};
    if (unfinished.empty()) {
        std::cout << "Nothing to retry: no evidence moment is waiting for analysis.\n";
        return kExitSuccess;
    }
    return runAnalysis(configuredAnalysisConnection(), folders, EvidenceAnalysisScope::unfinishedCandidates,
                       "Retry could not complete: ");
}

}  // namespace

Command planCommand() {
    return {"plan", "show what analysis would send, to whom, and why not when it cannot",
            "Usage: quillmer plan SESSION\n\n"
            "Prints who would receive SESSION's data for analysis and at which host, then what each\n"
            "pass would send: the evidence pass (the first 16 evidence moments, their frames and\n"
            "transcript context) and the summary pass (the whole transcript). When nothing can be\n"
            "sent (not connected, no key) it says why. When the analysis runs on this computer (a\n"
            "local model from quillmer settings, or the transcript rules when there is no relay and\n"
            "no model) it names the model and says that nothing leaves this computer. Sends nothing.\n",
            runPlan};
}

Command analyzeCommand() {
    return {"analyze", "send the approved evidence for grounded feedback",
            "Usage: quillmer analyze SESSION --approve evidence[,summary]\n\n"
            "Sends the first 16 evidence moments of SESSION's export (see quillmer plan SESSION),\n"
            "four at a time, and writes feedback.json, feedback.md and analysis-diagnostics.json\n"
            "into the export. Without --approve nothing is sent. When the analysis runs on this\n"
            "computer (a local model, one moment at a time unless its concurrency setting says\n"
            "otherwise, or the transcript rules) nothing is sent and --approve is not needed. Prints one line per moment as it\n"
            "finishes, then the item count and the path of feedback.md. Ctrl-C stops safely: the\n"
            "moments in flight are abandoned and nothing is written. Exits 1 when no moment could be\n"
            "analysed (the files are still written) or no analysis route is available.\n",
            runAnalyze};
}

Command retryCommand() {
    return {"retry", "analyse again the evidence moments whose analysis failed",
            "Usage: quillmer retry SESSION\n\n"
            "Sends again only the evidence moments listed in the export's analysis-diagnostics.json\n"
            "(they were approved when quillmer analyze first sent them) and merges the results into\n"
            "feedback.json, keeping every earlier item. Ctrl-C stops safely.\n",
            runRetry};
}

}  // namespace quillmer::cli
