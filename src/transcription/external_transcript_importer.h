#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "transcription/local_transcript.h"

namespace quillmer {

enum class ExternalTranscriptErrorCase { unsupportedFile, invalidTimestamp, noCues };

class ExternalTranscriptError : public FamilyError<ExternalTranscriptErrorCase> {
public:
    static ExternalTranscriptError unsupportedFile(const std::string& fileName);
    static ExternalTranscriptError invalidTimestamp(std::string_view trimmedLine);
    static ExternalTranscriptError noCues();

private:
    using FamilyError::FamilyError;
};

// Gives a session an existing WebVTT or SubRip caption file as its transcript.
class ExternalTranscriptImporter {
public:
    struct Cue {
        double start = 0;
        double end = 0;
        std::string text;
        bool operator==(const Cue&) const = default;
    };

    // Reads the picked file, keeps a copy as "source-transcript.<ext>" (never overwriting one),
    // stores the transcript and records it in the manifest. Throws ExternalTranscriptError,
    // DecodingError (not UTF-8 text, unreadable session.json) or FileSystemError. On failure the
    // session folder is left as it was.
    LocalTranscript importTranscript(const std::filesystem::path& pickedFile,
                                     const std::filesystem::path& sessionFolder) const;

    // The timed cues of caption text in file order (one grammar for WebVTT and SRT). Any bytes are
    // accepted; throws ExternalTranscriptError::invalidTimestamp on the first bad timing line.
    static std::vector<Cue> parseCues(std::string_view text);

    // "hh:mm:ss.fff" or "mm:ss.fff" (comma or point before the fraction, cue settings after a
    // space ignored) in seconds; nullopt when it does not read as a finite time.
    static std::optional<double> parseTimestamp(std::string_view text);
};

}  // namespace quillmer
