// Any bytes as session.json: decoding must fail cleanly or yield a manifest that encodes and
// decodes back to itself.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "capture/local_session_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillmer;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)parseISO8601(text);
    (void)Uuid::parse(text);
    try {
        const auto manifest = LocalSessionManifest::fromJSON(parseJSON(text));
        const std::string encoded = encodeJSON(manifest.toJSON());
        const auto again = LocalSessionManifest::fromJSON(parseJSON(encoded));
        if (encodeJSON(again.toJSON()) != encoded) std::abort();
    } catch (const DecodingError&) {
    } catch (const EncodingError&) {
        // Non-finite numbers cannot come from JSON text; reaching here would be a fault.
        std::abort();
    }
    return 0;
}
