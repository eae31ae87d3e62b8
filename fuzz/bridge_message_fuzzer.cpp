// Any body a page (or anything else on this computer) posts to the bridge: decoding must not
// crash, and a decoded call always carries a list of arguments to check shapes against.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/bridge_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillmer;
    const auto call = decodeBridgeMessage(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!call) return 0;
    if (!call->args.is_array()) std::abort();
    static const Parameter shapes[] = {{ArgumentKind::string}, {ArgumentKind::boolean, true}, {ArgumentKind::integer, true}};
    for (size_t count = 0; count <= std::size(shapes); ++count) {
        const bool fits = argumentsFit(std::span(shapes, count), call->args);
        if (count == 0 && !fits) std::abort();
    }
    return 0;
}
