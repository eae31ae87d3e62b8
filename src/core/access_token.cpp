#include "core/access_token.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include "core/error.h"

namespace quillmer {

std::string makeAccessToken() {
    unsigned char bytes[32];
    if (RAND_bytes(bytes, sizeof bytes) != 1) throw Error("Quillmer could not make a random access token.");
    static constexpr char digits[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char byte : bytes) {
        token += digits[byte >> 4];
        token += digits[byte & 15];
    }
    return token;
}

bool tokensMatch(std::string_view presented, std::string_view token) {
    return !token.empty() && presented.size() == token.size() &&
           CRYPTO_memcmp(presented.data(), token.data(), token.size()) == 0;
}

}  // namespace quillmer
