#include "evidence/evidence_markdown.h"

#include "core/markdown_text.h"
#include "core/time_format.h"

namespace quillmer {

namespace {

constexpr const char* kMiddleDot = "\u00B7";
constexpr const char* kEnDash = "\u2013";
constexpr const char* kMultiplicationSign = "\u00D7";

std::string digestSuffix(const std::string& sha256) {
    return std::string(" ") + kMiddleDot + " SHA-256 `" + sha256 + "`";
}

std::string candidateBlock(size_t number, const EvidenceBundleDocument::Candidate& candidate) {
    std::string block = "## " + std::to_string(number) + ". " + formatTimestamp(candidate.rangeStartSeconds) + kEnDash +
                        formatTimestamp(candidate.rangeEndSeconds) + " " + kMiddleDot + " trigger: " + escapeMarkdownText(candidate.trigger) +
                        "\n\n";
    // Transcript text is what people said (or what a caption file claims they said): shown, never rendered.
    block += "> " + escapeMarkdownText(candidate.transcriptContext) + "\n\n";
    block += "Evidence frames:\n";
    for (size_t i = 0; i < candidate.frames.size(); ++i) {
        const auto& frame = candidate.frames[i];
        if (i > 0) block += "\n";
        block += "- [" + frame.path + "](" + frame.path + ")" + digestSuffix(frame.sha256);
    }
    block += "\n";
    return block;
}

}  // namespace

std::string markdown(const EvidenceBundleDocument& document) {
    const auto& session = document.session;
    std::string text =
        "# Quillmer evidence brief\n\n"
        "This is candidate evidence, not an inferred summary. Review or model analysis must cite the transcript "
        "context and frames below.\n\n";
    text += "- Exported: " + formatISO8601(document.exportedAt) + "\n";
    text += "- Session: `" + session.id.toString() + "`\n";
    text += "- Display: " + std::to_string(session.displaySize.width) + " " + kMultiplicationSign + " " +
            std::to_string(session.displaySize.height) + "\n";
    if (session.repository) {
        text += "- Repository: `" + session.repository->gitSHA + "`";
        if (session.repository->branch) text += std::string(" ") + kMiddleDot + " " + escapeMarkdownText(*session.repository->branch);
        text += "\n";
    }
    text += "- [Complete timestamped transcript](" + session.transcript.path + ")" +
            digestSuffix(session.transcript.sha256) + "\n";
    if (document.candidates.empty()) {
        text += "\nNo deictic-feedback candidates were found.\n";
        return text;
    }
    text += "\n";
    for (size_t i = 0; i < document.candidates.size(); ++i) {
        if (i > 0) text += "\n";
        text += candidateBlock(i + 1, document.candidates[i]);
    }
    return text;
}

}  // namespace quillmer
