// Any bytes as a relay or Gemini answer: the first byte picks the HTTP status, the rest is the
// body. Whatever comes back, the client either fails with an Error or returns an item that meets
// the grounding promises (its quote is in the transcript, its confidence within 0…1, its frames
// the candidate's own).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "analysis/gemini_evidence_analyzer.h"
#include "analysis/gemini_evidence_provider.h"
#include "analysis/hosted_analysis_client.h"

namespace {

using namespace quillmer;

struct ScriptedTransport final : HttpTransport {
    HttpResponse answer;
    HttpResponse send(const HttpRequest&, std::stop_token) override { return answer; }
};

// Letters and digits only, lower-cased: coarser than the grounding rule, so a grounded quote
// always passes this check.
std::string folded(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c >= 'A' && c <= 'Z') out.push_back(static_cast<char>(c - 'A' + 'a'));
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) out.push_back(c);
    }
    return out;
}

void check(const std::optional<GroundedFeedbackItem>& item, const EvidenceBundleDocument::Candidate& candidate) {
    if (!item) return;
    if (!(item->confidence >= 0 && item->confidence <= 1)) std::abort();
    if (folded(candidate.transcriptContext).find(folded(item->quote)) == std::string::npos) std::abort();
    for (const auto& path : item->evidenceFramePaths)
        if (path != "frames/a.png") std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const long statuses[] = {200, 200, 200, 400, 401, 413, 422, 429, 500, 503, 504, 302};
    ScriptedTransport transport;
    transport.answer.status = statuses[data[0] % std::size(statuses)];
    transport.answer.body.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    transport.answer.headers = {{"Retry-After", transport.answer.body.substr(0, 4)}};

    EvidenceBundleDocument::Candidate candidate;
    candidate.transcriptContext = "Make the Save button blue please";
    candidate.frames = {{"frames/a.png", "", 0}};
    const auto none = [](std::chrono::milliseconds, std::stop_token) {};
    // The frame is not on disk, so both routes are exercised through a candidate without frames.
    EvidenceBundleDocument::Candidate frameless = candidate;
    frameless.frames.clear();

    try {
        HostedAnalysisClient client("http://127.0.0.1:1", "c", transport, none);
        check(client.analyzeCandidate(Uuid(), frameless, "/nonexistent", {}).feedback, candidate);
    } catch (const Error&) {
    }
    try {
        GeminiEvidenceProvider gemini("m", "k", "gemini", transport, "http://127.0.0.1:1", none);
        check(gemini.analyze(frameless, "/nonexistent", {}), candidate);
    } catch (const Error&) {
    }
    // The grounding rules straight on the body, with the frame the answer may cite.
    try {
        if (const auto payload = GeminiEvidenceAnalyzer::decodeAnswer(parseJSON(transport.answer.body)))
            check(GeminiEvidenceAnalyzer::groundedItem(*payload, candidate), candidate);
    } catch (const Error&) {
    }
    return 0;
}
