// The cue grammar shared by WebVTT and SRT: every line with "-->" is a timing line, the lines
// after it up to a blank line or the next timing line are its text; everything else is skipped.
#include <charconv>
#include <cmath>

#include "core/utf8.h"
#include "transcription/external_transcript_importer.h"

namespace quillmer {

namespace {

constexpr std::string_view kArrow = "-->";

// Walks text line by line; a line ends at any Unicode line break. CR LF is one break: read as
// two it would put an empty line right after every timing line and drop every cue of a file
// written with Windows line ends.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : text_(text) {}

    bool atEnd() const { return position_ > text_.size(); }

    // The current line, trimmed, without consuming it.
    std::string_view peek() const { return trimmingWhitespaceAndNewlines(text_.substr(position_, lineLength().first)); }

    void advance() {
        const auto [length, breakLength] = lineLength();
        position_ += length + breakLength;
        if (breakLength == 0) position_ = text_.size() + 1;  // the last line had no break after it
    }

private:
    // Length of the current line and of the line break that ends it (0 at the end of the text).
    std::pair<size_t, size_t> lineLength() const {
        for (size_t i = position_; i < text_.size();) {
            const size_t length = utf8SequenceLength(text_, i);
            if (length == 0) {  // malformed byte: part of the line, never a break
                ++i;
                continue;
            }
            if (isNewlineCodePoint(decodeUTF8CodePoint(text_, i, length))) {
                const bool crlf = text_.compare(i, 2, "\r\n") == 0;
                return {i - position_, crlf ? 2 : length};
            }
            i += length;
        }
        return {text_.size() - position_, 0};
    }

    std::string_view text_;
    size_t position_ = 0;
};

// Removes every match of "<[^>]+>" (voice spans, styling and inline timestamp tags).
std::string removingTags(std::string_view line) {
    std::string result;
    result.reserve(line.size());
    size_t i = 0;
    while (i < line.size()) {
        const size_t open = line.find('<', i);
        if (open == std::string_view::npos) break;
        const size_t close = line.find('>', open + 1);
        if (close == std::string_view::npos) break;  // no later '<' can close either
        if (close == open + 1) {  // "<>" is not a tag
            result.append(line.substr(i, close - i));
            i = close;
            continue;
        }
        result.append(line.substr(i, open - i));
        i = close + 1;
    }
    result.append(line.substr(i));
    return result;
}

std::optional<double> parseDecimal(std::string_view piece) {
    double value = 0;
    const char* end = piece.data() + piece.size();
    const auto [stop, error] = std::from_chars(piece.data(), end, value, std::chars_format::fixed);
    if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

}  // namespace

std::optional<double> ExternalTranscriptImporter::parseTimestamp(std::string_view text) {
    const auto words = splitDroppingEmpty(trimmingWhitespaceAndNewlines(text), ' ');
    std::string time(words.empty() ? std::string_view() : words.front());
    for (char& c : time)
        if (c == ',') c = '.';
    const auto pieces = splitDroppingEmpty(time, ':');
    if (pieces.size() != 2 && pieces.size() != 3) return std::nullopt;
    double values[3] = {0, 0, 0};  // hours, minutes, seconds
    const size_t first = 3 - pieces.size();
    for (size_t i = 0; i < pieces.size(); ++i) {
        const auto value = parseDecimal(pieces[i]);
        if (!value) return std::nullopt;
        values[first + i] = *value;
    }
    const double seconds = values[0] * 3600 + values[1] * 60 + values[2];
    if (!std::isfinite(seconds)) return std::nullopt;
    return seconds;
}

std::vector<ExternalTranscriptImporter::Cue> ExternalTranscriptImporter::parseCues(std::string_view text) {
    std::vector<Cue> cues;
    LineCursor lines(text);
    while (!lines.atEnd()) {
        const std::string_view line = lines.peek();
        lines.advance();
        const size_t arrow = line.find(kArrow);
        if (arrow == std::string_view::npos) continue;
        if (line.find(kArrow, arrow + kArrow.size()) != std::string_view::npos)
            throw ExternalTranscriptError::invalidTimestamp(line);
        const auto start = parseTimestamp(line.substr(0, arrow));
        const auto end = parseTimestamp(line.substr(arrow + kArrow.size()));
        // A duration that overflows is as unreadable as an end before the start.
        if (!start || !end || !(*end > *start) || !std::isfinite(*end - *start))
            throw ExternalTranscriptError::invalidTimestamp(line);

        std::string joined;
        bool firstPiece = true;
        while (!lines.atEnd()) {
            const std::string_view textLine = lines.peek();
            if (textLine.empty() || textLine.find(kArrow) != std::string_view::npos) break;
            if (!firstPiece) joined += ' ';
            joined += removingTags(textLine);
            firstPiece = false;
            lines.advance();
        }
        const std::string_view cueText = trimmingWhitespaceAndNewlines(joined);
        if (!cueText.empty()) cues.push_back({*start, *end, std::string(cueText)});
    }
    return cues;
}

}  // namespace quillmer
