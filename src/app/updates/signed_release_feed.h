#pragma once

#include <string>
#include <string_view>

#include "core/error.h"
#include "core/iso8601.h"

namespace quillmer {

// The payload of a release feed whose signature verified.
struct SignedReleaseFeed {
    std::string channel;
    std::string version;
    std::string publishedAt;
    std::string downloadURL;  // always https
    std::string sha256;       // 64 hexadecimal digits
    std::string notes;
};

enum class UpdateCheckErrorCase { unusableResponse };

class UpdateCheckError : public FamilyError<UpdateCheckErrorCase> {
public:
    UpdateCheckError() : FamilyError(UpdateCheckErrorCase::unusableResponse, "The update feed could not be used.") {}
};

// Checks a feed body {"payload": base64, "signature": base64} against the base64 Ed25519 public
// key, then the payload's fields. A feed published more than a day after `now` is refused too: a
// signer's clock that far off, or a feed held back for a later replay, is nothing to act on.
// Throws UpdateCheckError at the first step that fails.
SignedReleaseFeed verifySignedReleaseFeed(std::string_view body, std::string_view publicKeyBase64, Timestamp now);

}  // namespace quillmer
