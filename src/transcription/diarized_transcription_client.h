#pragma once
// Uploads whole audio tracks for speaker-labelled transcription, through the relay or, for a
// developer, straight to ElevenLabs with their own key. One client lives for one run; the
// decider makes it from the stored approval and this process's environment.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/json.h"
#include "platform/http_transport.h"
#include "transcription/remote_transcription_settings.h"
#include "transcription/transcription_route.h"

namespace quillmer {

class DiarizedTranscriptionClient final : public RemoteTranscriptionPlan {
public:
    // `endpoint` and `secret` as the decision gives them.
    DiarizedTranscriptionClient(RemoteTranscriptionRoute route, std::string endpoint, std::string secret,
                                HttpTransport& transport)
        : route_(route), endpoint_(std::move(endpoint)), secret_(std::move(secret)), transport_(transport) {}

    std::string provider() const override;
    // Throws TranscriptionError (too large, before any byte is sent; a non-2xx answer), the
    // transport's error, DecodingError or FileSystemError. No retries.
    std::vector<LocalTranscriptSegment> transcribeTrack(const std::filesystem::path& audioFile,
                                                        const std::string& idempotencyPrefix,
                                                        const TranscriptionTrack& track, std::stop_token stop) override;

private:
    HttpRequest hostedRequest(const std::filesystem::path& audioFile, const std::string& idempotencyKey) const;
    HttpRequest developerRequest(const std::filesystem::path& audioFile) const;

    RemoteTranscriptionRoute route_;
    std::string endpoint_;
    std::string secret_;
    HttpTransport& transport_;
};

// The multipart text around the file's bytes, field by field as ElevenLabs expects it.
struct MultipartEnvelope {
    std::string prefix;
    std::string suffix;
};
MultipartEnvelope scribeMultipartEnvelope(const std::string& boundary, const std::string& fileName);

// The track's speaker, renamed for a speaker the service told apart: "You" on the microphone
// track, otherwise "Speaker " + the service's identifier as given.
TranscriptSpeaker diarizedSpeaker(const TranscriptSpeaker& trackSpeaker, const std::optional<std::string>& serviceID);

// The answers, as segments on the source clock. Throw DecodingError for a body without the
// required keys; extra keys are ignored.
std::vector<LocalTranscriptSegment> hostedSegments(const Json& body, const TranscriptionTrack& track);
// Words grouped into one segment per run of the same speaker; spacing and audio events dropped.
std::vector<LocalTranscriptSegment> scribeWordSegments(const Json& body, const TranscriptionTrack& track);

// Asks the stored approval once per run and builds the client for the route that can run; the
// decision stays readable so a caller can say which route was taken and why.
class RemoteTranscriptionRouteDecider final : public TranscriptionRouteDecider {
public:
    RemoteTranscriptionRouteDecider(RemoteTranscriptionSettings settings,
                                    std::function<RemoteTranscriptionEnvironment()> environment,
                                    HttpTransport& transport)
        : settings_(settings), environment_(std::move(environment)), transport_(transport) {}

    std::unique_ptr<RemoteTranscriptionPlan> remotePlan() override;
    const std::optional<RemoteTranscriptionDecision>& lastDecision() const { return lastDecision_; }

private:
    RemoteTranscriptionSettings settings_;
    std::function<RemoteTranscriptionEnvironment()> environment_;
    HttpTransport& transport_;
    std::optional<RemoteTranscriptionDecision> lastDecision_;
};

}  // namespace quillmer
