#include "analysis/hosted_analysis_client.h"

#include <algorithm>

#include "analysis/candidate_frames.h"
#include "analysis/gemini_evidence_analyzer.h"
#include "core/base64.h"
#include "core/utf8.h"

namespace quillmer {

namespace {

constexpr size_t kTriggerUnits = 400;
constexpr size_t kContextUnits = 20'000;
constexpr size_t kTranscriptUnits = 350'000;
constexpr size_t kMaxActions = 200;
constexpr size_t kActionUnits = 2'000;
constexpr size_t kDetailCharacters = 300;
// Relay answers are a few kilobytes; anything near this is not an answer.
constexpr size_t kMaxAnswerBytes = 4 << 20;

std::string json(const Json& value) { return encodeCompactJSON(value); }

struct ErrorBody {
    std::optional<std::string> error;
    std::optional<std::string> code;
    std::optional<double> retryAfterSeconds;
};

// A body that is not this shape counts as no body.
std::optional<ErrorBody> decodeErrorBody(const std::string& body) {
    try {
        const Json parsed = parseJSON(body);
        if (!parsed.is_object()) return std::nullopt;
        JsonObjectReader reader(parsed, "HostedAnalysisErrorBody");
        (void)reader.optional<HostedSpendUsage>("usage");
        return ErrorBody{reader.optional<std::string>("error"), reader.optional<std::string>("code"),
                         reader.optional<double>("retryAfterSeconds")};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The first 300 characters of a UTF-8 body, or a fixed text for anything else.
std::string bodyDetail(std::string_view body) {
    if (!isValidUTF8(body)) return "No detail was provided.";
    size_t pos = 0;
    for (size_t characters = 0; pos < body.size() && characters < kDetailCharacters; ++characters)
        pos += utf8SequenceLength(body, pos);
    return std::string(body.substr(0, pos));
}

std::string trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return "";
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

Json parsedAnswer(const std::string& body) {
    try {
        Json answer = parseJSON(body);
        if (!answer.is_object()) throw DecodingError("not an object");
        return answer;
    } catch (const DecodingError&) {
        throw HostedAnalysisError::of(HostedAnalysisError::Case::malformedResponse);
    }
}

}  // namespace

HostedSpendUsage HostedSpendUsage::fromJSON(const Json& json) {
    if (!json.is_object()) throw DecodingError("The relay's usage block is not an object.");
    JsonObjectReader reader(json, "HostedSpendUsage");
    return {reader.optional<std::string>("day"),         reader.optional<int64_t>("credentialUsed"),
            reader.optional<int64_t>("credentialLimit"), reader.optional<int64_t>("serviceUsed"),
            reader.optional<int64_t>("serviceLimit"),    reader.optional<std::string>("resetsAt")};
}

Json HostedSpendUsage::toJSON() const {
    Json out = Json::object();
    putJSON(out, "day", day);
    putJSON(out, "credentialUsed", credentialUsed);
    putJSON(out, "credentialLimit", credentialLimit);
    putJSON(out, "serviceUsed", serviceUsed);
    putJSON(out, "serviceLimit", serviceLimit);
    putJSON(out, "resetsAt", resetsAt);
    return out;
}

HostedMeetingSummary::Topic HostedMeetingSummary::Topic::fromJSON(const Json& json) {
    if (!json.is_object()) throw DecodingError("A summary topic is not an object.");
    JsonObjectReader reader(json, "Topic");
    return {reader.optional<std::string>("title").value_or(""), reader.optional<std::string>("detail").value_or("")};
}

Json HostedMeetingSummary::Topic::toJSON() const { return {{"detail", detail}, {"title", title}}; }

HostedMeetingSummary HostedMeetingSummary::fromJSON(const Json& json) {
    if (!json.is_object()) throw DecodingError("The relay's summary is not an object.");
    JsonObjectReader reader(json, "HostedMeetingSummary");
    using Texts = std::vector<std::string>;
    return {reader.optional<std::string>("overview").value_or(""), reader.optional<std::vector<Topic>>("topics").value_or(std::vector<Topic>{}),
            reader.optional<Texts>("decisions").value_or(Texts{}), reader.optional<Texts>("actionItems").value_or(Texts{}),
            reader.optional<Texts>("unresolvedQuestions").value_or(Texts{})};
}

Json HostedMeetingSummary::toJSON() const {
    Json out = Json::object();
    putJSON(out, "overview", overview);
    putJSON(out, "topics", topics);
    putJSON(out, "decisions", decisions);
    putJSON(out, "actionItems", actionItems);
    putJSON(out, "unresolvedQuestions", unresolvedQuestions);
    return out;
}

std::string candidateEnvelope(const Uuid& meetingID, const EvidenceBundleDocument::Candidate& candidate,
                              const std::filesystem::path& bundleDirectory) {
    size_t expectedFrameBytes = 0;
    for (const auto& frame : candidate.frames)
        expectedFrameBytes += static_cast<size_t>(std::clamp<int64_t>(frame.byteCount, 0, kCandidateFrameByteLimit));
    std::string body;
    body.reserve(std::min(expectedFrameBytes, kCandidateFrameByteLimit) / 3 * 4 + 64 * 1024);
    body += "{\"meetingID\":" + json(meetingID.toString()) + ",\"candidate\":{\"id\":" + json(candidate.id.toString()) +
            ",\"rangeStartSeconds\":" + json(candidate.rangeStartSeconds) +
            ",\"rangeEndSeconds\":" + json(candidate.rangeEndSeconds) +
            ",\"trigger\":" + json(std::string(prefixWithinUTF16Units(candidate.trigger, kTriggerUnits))) +
            ",\"transcriptContext\":" +
            json(std::string(prefixWithinUTF16Units(candidate.transcriptContext, kContextUnits)));
    if (candidate.visualAnchor) body += ",\"visualAnchor\":" + json(candidate.visualAnchor->toJSON());
    body += ",\"frames\":[";
    bool first = true;
    const auto outcome = forEachCandidateFrame(
        candidate, bundleDirectory, [&](const std::string& path, std::string_view mimeType, std::string_view bytes) {
            body += (first ? "{\"path\":" : ",{\"path\":") + json(path) + ",\"mimeType\":" + json(std::string(mimeType)) +
                    ",\"base64\":\"";
            appendBase64(body, bytes);
            body += "\"}";
            first = false;
        });
    if (outcome == CandidateFramesOutcome::notBundleRelative)
        throw HostedAnalysisError::invalidRequest(candidateFramesRefusal(outcome, candidate.id));
    if (outcome == CandidateFramesOutcome::tooLarge) throw HostedAnalysisError::candidateTooLarge(candidate.id);
    body += "]}}";
    return body;
}

std::string summaryEnvelope(const Uuid& meetingID, std::string_view transcriptLines,
                            const std::vector<std::string>& groundedActions) {
    std::string body = "{\"meetingID\":" + json(meetingID.toString()) + ",\"transcriptLines\":" +
                       json(std::string(prefixWithinUTF16Units(transcriptLines, kTranscriptUnits))) +
                       ",\"groundedActions\":[";
    for (size_t i = 0; i < std::min(groundedActions.size(), kMaxActions); ++i)
        body += (i ? "," : "") + json(std::string(prefixWithinUTF16Units(groundedActions[i], kActionUnits)));
    return body + "]}";
}

HostedAnalysisError hostedErrorForResponse(const HttpResponse& response, const std::optional<Uuid>& candidateID) {
    const std::optional<ErrorBody> body = decodeErrorBody(response.body);
    const std::optional<std::string> codeText = body ? body->code : std::nullopt;
    const std::optional<HostedErrorCode> code = codeText ? parseHostedErrorCode(*codeText) : std::nullopt;
    std::string detail = body && body->error ? *body->error : bodyDetail(response.body);
    std::optional<double> retryAfter = body ? body->retryAfterSeconds : std::nullopt;
    if (!retryAfter)
        if (const auto header = response.header("Retry-After")) retryAfter = parseDecimalSeconds(*header);

    switch (response.status) {
        case 400:
            return HostedAnalysisError::invalidRequest(std::move(detail));
        case 401:
            return HostedAnalysisError::of(HostedAnalysisError::Case::unauthorized);
        case 413:
            if (code == HostedErrorCode::candidateTooLarge && candidateID)
                return HostedAnalysisError::candidateTooLarge(*candidateID);
            return HostedAnalysisError::payloadTooLarge(std::move(detail));
        case 422:
            return HostedAnalysisError::providerRejected(std::move(detail));
        case 429: {
            const std::string plainCode = codeText ? trimmed(*codeText) : "";
            if (plainCode.empty() || plainCode == "rate_limited") return HostedAnalysisError::rateLimited(retryAfter);
            return HostedAnalysisError::costCapReached(retryAfter);
        }
        case 504:
            return HostedAnalysisError::of(HostedAnalysisError::Case::timedOut);
        default:
            return HostedAnalysisError::serviceUnavailable(response.status, std::move(detail));
    }
}

HostedAnalysisClient::HostedAnalysisClient(std::string endpoint, std::string credential, HttpTransport& transport,
                                           RetrySleep sleep, HostedAnalysisTimeouts timeouts)
    : endpoint_(std::move(endpoint)),
      credential_(std::move(credential)),
      transport_(transport),
      sleep_(std::move(sleep)),
      timeouts_(timeouts) {}

HttpRequest HostedAnalysisClient::request(const RelayRoute& route, std::string idempotencyKey,
                                          std::chrono::milliseconds timeout, std::string body) const {
    HttpRequest request;
    request.method = "POST";
    request.url = relayURL(endpoint_, route);
    request.headers = relayHeaders(route, credential_);
    request.headers.emplace_back("Idempotency-Key", std::move(idempotencyKey));
    request.timeout = timeout;
    request.maxResponseBytes = kMaxAnswerBytes;
    request.body = std::move(body);
    return request;
}

std::string HostedAnalysisClient::sendWithRetry(const HttpRequest& request, const std::optional<Uuid>& candidateID,
                                                std::stop_token stop) const {
    for (int attempt = 1;; ++attempt) {
        HttpResponse response;
        try {
            response = transport_.send(request, stop);
        } catch (const HttpTransportError& error) {
            // An answer bigger than any real one is a broken answer, not a network problem.
            if (error.kind() == HttpTransportError::Kind::responseTooLarge)
                throw HostedAnalysisError::of(HostedAnalysisError::Case::malformedResponse);
            if (!isPassingNetworkFailure(error) || attempt >= kMaxAnalysisAttempts) throw;
            sleep_(retryDelay(attempt, std::nullopt), stop);
            continue;
        }
        if (response.status >= 200 && response.status <= 299) return std::move(response.body);
        HostedAnalysisError error = hostedErrorForResponse(response, candidateID);
        const bool retriable = error.kind() != HostedAnalysisError::Case::costCapReached &&
                               (response.status == 429 || (response.status >= 500 && response.status <= 599));
        if (!retriable || attempt >= kMaxAnalysisAttempts) throw error;
        const std::optional<std::string> header = response.header("Retry-After");
        sleep_(retryDelay(attempt, header ? std::optional<std::string_view>(*header) : std::nullopt), stop);
    }
}

CandidateResult HostedAnalysisClient::analyzeCandidate(const Uuid& meetingID,
                                                       const EvidenceBundleDocument::Candidate& candidate,
                                                       const std::filesystem::path& bundleDirectory,
                                                       std::stop_token stop) const {
    const std::string body = sendWithRetry(
        request(relay_routes::evidenceCandidate, candidate.id.toString(), timeouts_.candidate,
                candidateEnvelope(meetingID, candidate, bundleDirectory)),
        candidate.id, stop);
    const Json answer = parsedAnswer(body);
    CandidateResult result;
    std::optional<FeedbackPayload> payload;
    try {
        JsonObjectReader reader(answer, "CandidateResponse");
        result.model = reader.optional<std::string>("model").value_or("");
        (void)reader.optional<std::string>("provider");
        result.usage = reader.optional<HostedSpendUsage>("usage");
        if (const auto feedback = answer.find("feedback"); feedback != answer.end() && !feedback->is_null())
            payload = FeedbackPayload::fromJSON(*feedback);
    } catch (const DecodingError&) {
        throw HostedAnalysisError::of(HostedAnalysisError::Case::malformedResponse);
    }
    // An ungrounded answer is no item, not a failure.
    if (payload) result.feedback = GeminiEvidenceAnalyzer::groundedItem(*payload, candidate);
    return result;
}

SummaryResult HostedAnalysisClient::summarizeMeeting(const Uuid& meetingID, std::string_view transcriptLines,
                                                     const std::vector<std::string>& groundedActions,
                                                     std::stop_token stop) const {
    const std::string body =
        sendWithRetry(request(relay_routes::meetingSummary, meetingID.toString() + ":summary", timeouts_.summary,
                              summaryEnvelope(meetingID, transcriptLines, groundedActions)),
                      std::nullopt, stop);
    const Json answer = parsedAnswer(body);
    try {
        JsonObjectReader reader(answer, "SummaryResponse");
        (void)reader.optional<std::string>("provider");
        const auto summary = reader.optional<HostedMeetingSummary>("summary");
        if (!summary) throw DecodingError("no summary");
        return {*summary, reader.optional<std::string>("model").value_or(""),
                reader.optional<HostedSpendUsage>("usage")};
    } catch (const DecodingError&) {
        throw HostedAnalysisError::of(HostedAnalysisError::Case::malformedResponse);
    }
}

}  // namespace quillmer
