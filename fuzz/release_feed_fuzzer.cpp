// Any bytes as a release feed, a version text or base64: verification either refuses or returns a
// feed that meets its own promises, versions order one way only, and strict base64 has exactly one
// spelling per byte string.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/updates/release_version.h"
#include "app/updates/signed_release_feed.h"
#include "core/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillmer;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    if (const auto bytes = decodeBase64(input); bytes && encodeBase64(*bytes) != input) std::abort();
    if (isNewerVersion(input, "1.0.0") && isNewerVersion("1.0.0", input)) std::abort();

    // The key is all zeros: a signature can hardly verify, but every step before it runs.
    try {
        const auto feed = verifySignedReleaseFeed(input, "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=",
                                                  std::chrono::system_clock::now());
        if (feed.downloadURL.rfind("https://", 0) != 0 || feed.sha256.size() != 64) std::abort();
    } catch (const UpdateCheckError&) {
    }
    return 0;
}
