// Any URL and Range header from the page: the resolver must answer without crashing, and any
// file it names must lie inside the folder it was registered for.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/review_renderer_scheme.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillmer;
    static const auto base = std::filesystem::temp_directory_path() / "quillmer-fuzz-renderer";
    static const bool prepared = [] {
        std::filesystem::create_directories(base / "assets");
        return true;
    }();
    (void)prepared;
    static ReviewRendererScheme scheme(base);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\n');
    const std::string_view url = input.substr(0, split);
    const std::optional<std::string_view> range =
        split == std::string_view::npos ? std::nullopt : std::optional(input.substr(split + 1));

    if (const auto file = scheme.resolve(url)) {
        if (file->string().rfind(base.string() + "/", 0) != 0) std::abort();
    }
    const auto result = scheme.respond(url, range);
    (void)result;
    const ByteRange r = byteRangeFromHeader(range, 1000);
    if (r.end > 1000 || r.start >= r.end) std::abort();
    return 0;
}
