// The only file compiled with the build's relay options, so changing them rebuilds one file.
#include "cloud/relay_endpoint.h"

namespace quillmer {

RelayEndpointConfiguration RelayEndpointConfiguration::ofThisBuild() {
    // Checked again at run time: a mistyped option leaves the build without that relay.
    return {QUILLMER_RELAY_DEVELOPMENT_BUILD != 0, validatedOrigin(QUILLMER_RELAY_PRODUCTION_ORIGIN),
            validatedOrigin(QUILLMER_RELAY_DEVELOPMENT_ORIGIN)};
}

}  // namespace quillmer
