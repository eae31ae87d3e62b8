// The cue grammar shared by WebVTT and SRT: every line with "-->" is a timing line, the lines
// after it up to a blank line or the next timing line are its text; everything else is skipped.
#include <charconv>
#include <cstdint>

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

// Removes every tag: "<" up to the next ">" (voice spans, styling and inline timestamp tags). A
// "<" that no ">" closes, or that another "<" interrupts, opens a tag that runs on to that point:
// caption markup is never spoken text, and a literal "<" is written "&lt;".
std::string removingTags(std::string_view line) {
    std::string result;
    result.reserve(line.size());
    size_t i = 0;
    while (i < line.size()) {
        const size_t open = line.find('<', i);
        result.append(line.substr(i, open == std::string_view::npos ? std::string_view::npos : open - i));
        if (open == std::string_view::npos) break;
        const size_t stop = line.find_first_of("<>", open + 1);
        if (stop == std::string_view::npos) break;
        i = line[stop] == '>' ? stop + 1 : stop;
    }
    return result;
}

void appendUTF8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// C0 controls other than tab, DEL and C1 controls: invisible in text and unsafe downstream.
bool isControl(char32_t c) { return (c < 0x20 && c != '\t') || (c >= 0x7F && c <= 0x9F); }

// The code point of "&name;" or "&#…;" at the start of `text`, with the reference's length.
std::optional<std::pair<char32_t, size_t>> characterReference(std::string_view text) {
    static constexpr std::pair<std::string_view, char32_t> kNamed[] = {
        // A non-breaking space separates words like any other space in a transcript.
        {"&amp;", '&'},     {"&lt;", '<'},          {"&gt;", '>'},          {"&quot;", '"'},
        {"&apos;", '\''},   {"&nbsp;", ' '},        {"&lrm;", U'\u200E'},   {"&rlm;", U'\u200F'},
    };
    for (const auto& [name, c] : kNamed)
        if (text.starts_with(name)) return std::pair{c, name.size()};
    if (!text.starts_with("&#")) return std::nullopt;
    const bool hex = text.size() > 2 && (text[2] == 'x' || text[2] == 'X');
    const size_t digits = hex ? 3 : 2;
    const size_t semicolon = text.find(';', digits);
    if (semicolon == std::string_view::npos || semicolon == digits || semicolon - digits > 8) return std::nullopt;
    uint32_t value = 0;
    const auto [stop, error] = std::from_chars(text.data() + digits, text.data() + semicolon, value, hex ? 16 : 10);
    if (error != std::errc() || stop != text.data() + semicolon) return std::nullopt;
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    return std::pair{static_cast<char32_t>(value), semicolon + 1};
}

// Spoken text of one caption line: tags removed first (so "&lt;b&gt;" stays text), then character
// references decoded, then control characters dropped. Unknown references stay as written.
std::string cueLineText(std::string_view line) {
    const std::string untagged = removingTags(line);
    const std::string_view text = untagged;
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '&') {
            if (const auto reference = characterReference(text.substr(i))) {
                if (!isControl(reference->first)) appendUTF8(result, reference->first);
                i += reference->second;
                continue;
            }
        }
        const size_t length = utf8SequenceLength(text, i);
        if (length == 0) {  // malformed byte: kept as it is, never read as a control character
            result += text[i++];
            continue;
        }
        if (!isControl(decodeUTF8CodePoint(text, i, length))) result.append(text.substr(i, length));
        i += length;
    }
    return result;
}

// A run of 1 to `maxDigits` ASCII digits no greater than `maxValue`.
std::optional<int> boundedField(std::string_view piece, size_t maxDigits, int maxValue) {
    if (piece.empty() || piece.size() > maxDigits) return std::nullopt;
    int value = 0;
    for (const char c : piece) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > maxValue) return std::nullopt;
    return value;
}

// "ss" or "ss.fff": whole seconds 0–59 and an optional fraction of up to nine digits.
std::optional<double> secondsField(std::string_view piece) {
    const size_t point = piece.find('.');
    const auto whole = boundedField(piece.substr(0, point), 2, 59);
    if (!whole) return std::nullopt;
    if (point == std::string_view::npos) return *whole;
    const std::string_view fraction = piece.substr(point + 1);
    if (!boundedField(fraction, 9, 999999999)) return std::nullopt;
    double value = 0;
    const std::string text = "0." + std::string(fraction);
    std::from_chars(text.data(), text.data() + text.size(), value);
    return *whole + value;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (size_t start = 0;;) {
        const size_t end = text.find(separator, start);
        pieces.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return pieces;
        start = end + 1;
    }
}

}  // namespace

std::optional<double> ExternalTranscriptImporter::parseTimestamp(std::string_view text) {
    text = trimmingWhitespaceAndNewlines(text);
    text = text.substr(0, text.find_first_of(" \t"));  // cue settings follow the end time
    std::string time(text);
    for (char& c : time)
        if (c == ',') c = '.';  // SRT writes the milliseconds after a comma
    const auto pieces = split(time, ':');
    if (pieces.size() != 2 && pieces.size() != 3) return std::nullopt;
    // Hours are bounded too, so that no timing is too large to add up exactly.
    const auto hours = pieces.size() == 3 ? boundedField(pieces[0], 4, 9999) : std::optional<int>(0);
    const auto minutes = boundedField(pieces[pieces.size() - 2], 2, 59);
    const auto seconds = secondsField(pieces.back());
    if (!hours || !minutes || !seconds) return std::nullopt;
    return *hours * 3600.0 + *minutes * 60.0 + *seconds;
}

std::optional<std::pair<double, double>> ExternalTranscriptImporter::parseTimingLine(std::string_view line) {
    const size_t arrow = line.find(kArrow);
    if (arrow == std::string_view::npos || line.find(kArrow, arrow + kArrow.size()) != std::string_view::npos)
        return std::nullopt;
    const auto start = parseTimestamp(line.substr(0, arrow));
    const auto end = parseTimestamp(line.substr(arrow + kArrow.size()));
    if (!start || !end || !(*end > *start)) return std::nullopt;
    return std::pair{*start, *end};
}

std::vector<ExternalTranscriptImporter::Cue> ExternalTranscriptImporter::parseCues(std::string_view text) {
    std::vector<Cue> cues;
    LineCursor lines(text);
    while (!lines.atEnd()) {
        const std::string_view line = lines.peek();
        lines.advance();
        if (line.find(kArrow) == std::string_view::npos) continue;
        const auto timing = parseTimingLine(line);
        if (!timing) throw ExternalTranscriptError::invalidTimestamp(line);

        std::string joined;
        bool firstPiece = true;
        while (!lines.atEnd()) {
            const std::string_view textLine = lines.peek();
            if (textLine.empty() || textLine.find(kArrow) != std::string_view::npos) break;
            if (!firstPiece) joined += ' ';
            joined += cueLineText(textLine);
            firstPiece = false;
            lines.advance();
        }
        const std::string_view cueText = trimmingWhitespaceAndNewlines(joined);
        if (!cueText.empty()) cues.push_back({timing->first, timing->second, std::string(cueText)});
    }
    return cues;
}

}  // namespace quillmer
