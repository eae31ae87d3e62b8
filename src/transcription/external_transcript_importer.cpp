#include "transcription/external_transcript_importer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "capture/session_folder.h"
#include "core/ascii_case.h"
#include "core/atomic_file.h"
#include "core/utf8.h"
#include "transcription/transcript_replacement.h"

namespace quillmer {

namespace fs = std::filesystem;

ExternalTranscriptError ExternalTranscriptError::unsupportedFile(const std::string& fileName) {
    return {ExternalTranscriptErrorCase::unsupportedFile,
            "Quillmer supports VTT and SRT transcripts. " + fileName + " is not supported."};
}

ExternalTranscriptError ExternalTranscriptError::invalidTimestamp(std::string_view trimmedLine) {
    return {ExternalTranscriptErrorCase::invalidTimestamp,
            "Quillmer could not read transcript timing: " + std::string(trimmedLine)};
}

ExternalTranscriptError ExternalTranscriptError::noCues() {
    return {ExternalTranscriptErrorCase::noCues, "Quillmer could not find timestamped cues in this transcript."};
}

namespace {

// The picked file's bytes, which must be UTF-8 text.
std::string readPickedFile(const fs::path& file) {
    std::error_code error;
    // A pipe or device would never end; only a regular file is a caption file.
    if (!fs::is_regular_file(file, error))
        throw FileSystemError("The file \"" + file.filename().string() + "\" couldn't be opened because it is not a readable file.", error);
    std::string text = readWholeFile(file);
    if (!isValidUTF8(text))
        throw DecodingError("The file \"" + file.filename().string() +
                            "\" couldn't be opened because its text is not UTF-8.");
    return text;
}

// Copies the picked bytes to a new file; an existing file of that name is never replaced.
void writeKeptCopy(const fs::path& destination, std::string_view bytes) {
    const int fd = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        const std::error_code code(errno, std::generic_category());
        const std::string name = "\"" + destination.filename().string() + "\"";
        const std::string folder = "\"" + destination.parent_path().filename().string() + "\"";
        if (code == std::errc::file_exists)
            throw FileSystemError(name + " couldn't be copied to " + folder +
                                  " because an item with the same name already exists.", code);
        throw FileSystemError(name + " couldn't be copied to " + folder + ": " + code.message() + ".", code);
    }
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::error_code code(errno, std::generic_category());
            ::close(fd);
            ::unlink(destination.c_str());
            throw FileSystemError("\"" + destination.filename().string() + "\" couldn't be written: " + code.message() + ".", code);
        }
        written += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const std::error_code code(errno, std::generic_category());
        ::unlink(destination.c_str());
        throw FileSystemError("\"" + destination.filename().string() + "\" couldn't be written: " + code.message() + ".", code);
    }
}

std::optional<std::string> existingBytes(const fs::path& file) {
    std::error_code error;
    if (!fs::exists(file, error)) return std::nullopt;
    return readWholeFile(file);
}

}  // namespace

LocalTranscript ExternalTranscriptImporter::importTranscript(const fs::path& pickedFile, const fs::path& sessionFolder) const {
    std::string extension = pickedFile.extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    extension = asciiLowercased(extension);
    if (extension != "vtt" && extension != "srt") throw ExternalTranscriptError::unsupportedFile(pickedFile.filename().string());

    const std::string bytes = readPickedFile(pickedFile);
    std::string_view text = bytes;
    if (constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF"; text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    const std::vector<Cue> cues = parseCues(text);
    if (cues.empty()) throw ExternalTranscriptError::noCues();

    // Read the manifest before keeping the copy: a session whose manifest cannot be read must not
    // be left with a copy that blocks every later import.
    const LocalSessionManifest manifest = readManifest(sessionFolder);
    const auto transcriptFile = sessionFolder / kTranscriptFileName;
    const auto previousTranscript = existingBytes(transcriptFile);

    const std::string keptName = kSourceTranscriptBaseName + extension;
    const auto keptCopy = sessionFolder / keptName;
    writeKeptCopy(keptCopy, bytes);

    LocalTranscript transcript;
    transcript.schemaVersion = 1;
    transcript.createdAt = std::chrono::system_clock::now();
    transcript.audioFile = keptName;
    transcript.sourcePTSOffsetSeconds = 0;
    transcript.localeIdentifier = "und";
    transcript.segments.reserve(cues.size());
    for (const auto& cue : cues) {
        LocalTranscriptSegment segment;
        segment.id = Uuid::random();
        segment.startSeconds = cue.start;
        segment.durationSeconds = cue.end - cue.start;
        segment.text = cue.text;
        transcript.segments.push_back(std::move(segment));
    }

    try {
        replaceTranscript(sessionFolder, manifest, transcript, exportsRoot_);
    } catch (...) {
        // Put the folder back as it was so the user can simply import again.
        std::error_code ignored;
        try {
            if (previousTranscript) writeFileAtomically(transcriptFile, *previousTranscript);
            else fs::remove(transcriptFile, ignored);
        } catch (const Error&) {
        }
        fs::remove(keptCopy, ignored);
        throw;
    }
    return transcript;
}

}  // namespace quillmer
