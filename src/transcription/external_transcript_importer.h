#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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
    // `exportsRoot` holds the session's export folder (default: the user's Exports folder), which a
    // new transcript makes outdated.
    explicit ExternalTranscriptImporter(std::optional<std::filesystem::path> exportsRoot = std::nullopt)
        : exportsRoot_(std::move(exportsRoot)) {}

    struct Cue {
        double start = 0;
        double end = 0;
        std::string text;
        bool operator==(const Cue&) const = default;
    };

    // Reads the picked file, keeps a copy as "source-transcript.<ext>" (never overwriting one),
    // discards what the previous transcript made (replaceTranscript), stores the transcript and
    // records it in the manifest. Throws ExternalTranscriptError,
    // DecodingError (not UTF-8 text, unreadable session.json) or FileSystemError. On failure the
    // session folder is left as it was.
    LocalTranscript importTranscript(const std::filesystem::path& pickedFile,
                                     const std::filesystem::path& sessionFolder) const;

    // The timed cues of caption text in file order (one grammar for WebVTT and SRT). Any bytes are
    // accepted; throws ExternalTranscriptError::invalidTimestamp on the first bad timing line.
    static std::vector<Cue> parseCues(std::string_view text);

    // "hh:mm:ss.fff" or "mm:ss.fff" in seconds (comma or point before the fraction, cue settings
    // after a space ignored). Digits only: hours up to four digits, minutes and seconds 0–59, so a
    // time is never negative or unbounded; nullopt otherwise.
    static std::optional<double> parseTimestamp(std::string_view text);

    // "start --> end" (one arrow) in seconds; nullopt unless both times read and end > start.
    static std::optional<std::pair<double, double>> parseTimingLine(std::string_view line);

private:
    std::optional<std::filesystem::path> exportsRoot_;
};

}  // namespace quillmer
