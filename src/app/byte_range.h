#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillmer {

// Half-open [start, end) of a file of `size` bytes.
struct ByteRange {
    uint64_t start = 0;
    uint64_t end = 0;
    bool isWholeFile(uint64_t size) const { return start == 0 && end == size; }
    uint64_t length() const { return end - start; }
    bool operator==(const ByteRange&) const = default;
};

// The single range a "Range" header asks for ("bytes=A-B", "bytes=A-" or the suffix "bytes=-N"),
// forgiving as a media element expects: an END past the file is clamped to it, and a header that
// is malformed, lists several ranges, ends before it starts or starts past the file means the
// whole file (answered 200).
ByteRange byteRangeFromHeader(std::optional<std::string_view> header, uint64_t size);

}  // namespace quillmer
