#include "platform/http_transport.h"

#include <algorithm>
#include <fstream>

#include "core/ascii_case.h"
#include "core/error.h"

namespace quillmer {

std::optional<std::string> HttpResponse::header(std::string_view name) const {
    const auto sameName = [&](const auto& entry) { return equalsIgnoringASCIICase(entry.first, name); };
    const auto found = std::ranges::find_if(headers, sameName);
    if (found == headers.end()) return std::nullopt;
    return found->second;
}

HttpBodyStream fileBodyStream(std::string prefix, const std::filesystem::path& file, std::string suffix) {
    auto input = std::make_shared<std::ifstream>(file, std::ios::binary);
    std::error_code code;
    const auto fileSize = std::filesystem::file_size(file, code);
    if (!*input || code) throw FileSystemError("Quillmer could not read " + file.filename().string() + ".", code);
    const int64_t length = static_cast<int64_t>(prefix.size() + fileSize + suffix.size());
    // Where the next byte comes from: prefix, then file, then suffix; `offset` counts within the
    // part. The file gives exactly the bytes measured now, so the declared length stays true.
    auto state = std::make_shared<std::pair<int, size_t>>(0, 0);
    auto read = [input, state, fileSize, prefix = std::move(prefix), suffix = std::move(suffix)](
                    char* buffer, size_t capacity) -> size_t {
        auto& [part, offset] = *state;
        size_t filled = 0;
        while (filled < capacity && part < 3) {
            if (part == 1) {
                const size_t wanted = std::min<size_t>(capacity - filled, fileSize - offset);
                input->read(buffer + filled, static_cast<std::streamsize>(wanted));
                const auto got = static_cast<size_t>(input->gcount());
                if (got < wanted) throw FileSystemError("The file changed while it was being sent.");
                filled += got;
                offset += got;
                if (offset == fileSize) part = 2, offset = 0;
                continue;
            }
            const std::string& text = part == 0 ? prefix : suffix;
            const size_t count = std::min(capacity - filled, text.size() - offset);
            std::copy_n(text.data() + offset, count, buffer + filled);
            filled += count;
            offset += count;
            if (offset == text.size()) ++part, offset = 0;
        }
        return filled;
    };
    return HttpBodyStream{length, std::move(read)};
}

}  // namespace quillmer
