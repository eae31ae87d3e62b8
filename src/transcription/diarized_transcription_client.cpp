#include "transcription/diarized_transcription_client.h"

#include <algorithm>
#include <system_error>

#include "cloud/relay_routes.h"
#include "core/utf8.h"
#include "transcription/transcription_error.h"

namespace quillmer {

namespace {

using namespace std::chrono_literals;

constexpr const char* kScribeFields[][2] = {
    {"model_id", "scribe_v2"}, {"diarize", "true"}, {"timestamps_granularity", "word"}};

std::optional<std::string> optionalString(const Json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return std::nullopt;
    if (!found->is_string()) throw DecodingError(std::string("The transcription answer has a bad \"") + key + "\".");
    return found->get<std::string>();
}

std::optional<double> optionalNumber(const Json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return std::nullopt;
    if (!found->is_number()) throw DecodingError(std::string("The transcription answer has a bad \"") + key + "\".");
    return found->get<double>();
}

template <typename T>
T required(std::optional<T> value, const char* key) {
    if (!value) throw DecodingError(std::string("The transcription answer lacks \"") + key + "\".");
    return *value;
}

const Json& requiredArray(const Json& body, const char* key) {
    if (!body.is_object() || !body.contains(key) || !(*body.find(key)).is_array())
        throw DecodingError(std::string("The transcription answer lacks \"") + key + "\".");
    return *body.find(key);
}

LocalTranscriptSegment segment(double start, double duration, std::string text, const TranscriptionTrack& track,
                               const std::optional<std::string>& speakerID) {
    LocalTranscriptSegment made;
    made.id = Uuid::random();
    made.startSeconds = start + track.sourceOffsetSeconds;
    made.durationSeconds = std::max(0.0, duration);
    made.text = std::move(text);
    made.speaker = diarizedSpeaker(track.defaultSpeaker, speakerID);
    made.sourceTrack = track.sourceTrack;
    return made;
}

}  // namespace

MultipartEnvelope scribeMultipartEnvelope(const std::string& boundary, const std::string& fileName) {
    MultipartEnvelope envelope;
    for (const auto& [name, value] : kScribeFields)
        envelope.prefix += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
                           value + "\r\n";
    envelope.prefix += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + fileName +
                       "\"\r\nContent-Type: audio/mp4\r\n\r\n";
    envelope.suffix = "\r\n--" + boundary + "--\r\n";
    return envelope;
}

TranscriptSpeaker diarizedSpeaker(const TranscriptSpeaker& trackSpeaker, const std::optional<std::string>& serviceID) {
    if (!serviceID) return trackSpeaker;
    return {serviceID, trackSpeaker.role == "self" ? "You" : "Speaker " + *serviceID, trackSpeaker.role};
}

std::vector<LocalTranscriptSegment> hostedSegments(const Json& body, const TranscriptionTrack& track) {
    std::vector<LocalTranscriptSegment> segments;
    for (const Json& entry : requiredArray(body, "segments")) {
        if (!entry.is_object()) throw DecodingError("The transcription answer has a bad segment.");
        segments.push_back(segment(required(optionalNumber(entry, "startSeconds"), "startSeconds"),
                                   required(optionalNumber(entry, "durationSeconds"), "durationSeconds"),
                                   required(optionalString(entry, "text"), "text"), track,
                                   optionalString(entry, "speakerID")));
    }
    return segments;
}

std::vector<LocalTranscriptSegment> scribeWordSegments(const Json& body, const TranscriptionTrack& track) {
    struct Word {
        std::string text;
        double start;
        std::optional<double> end;
        std::optional<std::string> speaker;
    };
    std::vector<std::vector<Word>> runs;
    for (const Json& entry : requiredArray(body, "words")) {
        if (!entry.is_object()) throw DecodingError("The transcription answer has a bad word.");
        Word word{required(optionalString(entry, "text"), "text"), 0, optionalNumber(entry, "end"),
                  optionalString(entry, "speaker_id")};
        const auto start = optionalNumber(entry, "start");
        if (optionalString(entry, "type").value_or("word") != "word" || !start) continue;
        word.start = *start;
        if (runs.empty() || runs.back().back().speaker != word.speaker) runs.emplace_back();
        runs.back().push_back(std::move(word));
    }
    std::vector<LocalTranscriptSegment> segments;
    for (const auto& run : runs) {
        std::string text;
        for (const Word& word : run) text += (text.empty() ? "" : " ") + word.text;
        const double start = run.front().start;
        segments.push_back(segment(start, run.back().end.value_or(start) - start, std::move(text), track,
                                   run.front().speaker));
    }
    return segments;
}

std::string DiarizedTranscriptionClient::provider() const {
    return route_ == RemoteTranscriptionRoute::hosted ? "quillmer-hosted-scribe-v2" : "elevenlabs-scribe-v2";
}

HttpRequest DiarizedTranscriptionClient::hostedRequest(const std::filesystem::path& audioFile,
                                                       const std::string& idempotencyKey) const {
    HttpRequest request;
    request.method = "POST";
    request.url = relayURL(endpoint_, relay_routes::transcribe);
    for (auto& header : relayHeaders(relay_routes::transcribe, secret_)) request.headers.push_back(std::move(header));
    request.headers.emplace_back("x-quillmer-audio-filename", audioFile.filename().string());
    request.headers.emplace_back("Idempotency-Key", idempotencyKey);
    request.timeout = relay_routes::transcribe.timeout;
    request.bodyStream = fileBodyStream({}, audioFile);
    return request;
}

HttpRequest DiarizedTranscriptionClient::developerRequest(const std::filesystem::path& audioFile) const {
    const std::string boundary = "Quillmer-" + Uuid::random().toString();  // canonical upper case
    auto envelope = scribeMultipartEnvelope(boundary, audioFile.filename().string());
    HttpRequest request;
    request.method = "POST";
    request.url = endpoint_ + "/v1/speech-to-text";
    request.headers = {{"xi-api-key", secret_}, {"Content-Type", "multipart/form-data; boundary=" + boundary}};
    request.timeout = 180s;
    request.bodyStream = fileBodyStream(std::move(envelope.prefix), audioFile, std::move(envelope.suffix));
    return request;
}

std::vector<LocalTranscriptSegment> DiarizedTranscriptionClient::transcribeTrack(const std::filesystem::path& audioFile,
                                                                                 const std::string& idempotencyPrefix,
                                                                                 const TranscriptionTrack& track,
                                                                                 std::stop_token stop) {
    std::error_code code;
    const auto size = std::filesystem::file_size(audioFile, code);
    if (code)
        throw TranscriptionError::enhancedProviderFailed(
            "Quillmer could not measure the audio track before uploading it.");
    if (static_cast<int64_t>(size) > kRemoteTrackLimitBytes)
        throw TranscriptionError::audioTooLargeForRemoteRoute(static_cast<int64_t>(size), kRemoteTrackLimitBytes);

    const bool hosted = route_ == RemoteTranscriptionRoute::hosted;
    const HttpRequest request =
        hosted ? hostedRequest(audioFile, idempotencyPrefix + ":" + track.sourceTrack) : developerRequest(audioFile);
    const HttpResponse response = transport_.send(request, stop);
    if (response.status < 200 || response.status > 299)
        throw TranscriptionError::enhancedProviderFailed(isValidUTF8(response.body) ? response.body
                                                                                   : "Unknown provider response");
    const Json body = parseJSON(response.body);
    return hosted ? hostedSegments(body, track) : scribeWordSegments(body, track);
}

std::unique_ptr<RemoteTranscriptionPlan> RemoteTranscriptionRouteDecider::remotePlan() {
    lastDecision_ = settings_.decision(environment_());
    if (!lastDecision_->route) return nullptr;
    return std::make_unique<DiarizedTranscriptionClient>(*lastDecision_->route, lastDecision_->endpoint,
                                                         lastDecision_->secret, transport_);
}

}  // namespace quillmer
