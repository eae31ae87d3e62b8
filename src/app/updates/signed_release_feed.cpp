#include "app/updates/signed_release_feed.h"

#include <openssl/evp.h>

#include <memory>
#include <optional>

#include "core/base64.h"
#include "core/json.h"

namespace quillmer {

namespace {

constexpr size_t kPublicKeyBytes = 32;
constexpr size_t kSignatureBytes = 64;
constexpr auto kAllowedClockSkew = std::chrono::hours(24);

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

bool verifyEd25519(const std::string& publicKey, const std::string& signature, const std::string& message) {
    std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(publicKey.data()), publicKey.size()));
    if (!key) return false;
    std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

std::optional<Json> parseObject(std::string_view text) {
    try {
        Json value = parseJSON(text);
        if (value.is_object()) return value;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

std::string requiredText(const Json& object, const char* key, bool nonEmpty) {
    const auto member = object.find(key);
    if (member == object.end() || !member->is_string()) throw UpdateCheckError();
    std::string text = member->get<std::string>();
    if (nonEmpty && text.empty()) throw UpdateCheckError();
    return text;
}

bool isHexDigest(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// "https://host…": the scheme (any case) followed by an authority with a host.
bool isHttpsURL(const std::string& text) {
    constexpr std::string_view scheme = "https://";
    if (text.size() <= scheme.size()) return false;
    for (size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != scheme[i]) return false;
    for (unsigned char c : text)
        if (c <= 0x20 || c == 0x7F) return false;
    const char hostStart = text[scheme.size()];
    return hostStart != '/' && hostStart != '?' && hostStart != '#';
}

}  // namespace

SignedReleaseFeed verifySignedReleaseFeed(std::string_view body, std::string_view publicKeyBase64, Timestamp now) {
    const auto publicKey = decodeBase64(publicKeyBase64);
    if (!publicKey || publicKey->size() != kPublicKeyBytes) throw UpdateCheckError();

    const auto envelope = parseObject(body);
    if (!envelope) throw UpdateCheckError();
    const auto payload = decodeBase64(requiredText(*envelope, "payload", false));
    const auto signature = decodeBase64(requiredText(*envelope, "signature", false));
    if (!payload || !signature || signature->size() != kSignatureBytes) throw UpdateCheckError();
    if (!verifyEd25519(*publicKey, *signature, *payload)) throw UpdateCheckError();

    const auto fields = parseObject(*payload);
    if (!fields) throw UpdateCheckError();
    SignedReleaseFeed feed{requiredText(*fields, "channel", true),     requiredText(*fields, "version", true),
                           requiredText(*fields, "publishedAt", true), requiredText(*fields, "downloadURL", true),
                           requiredText(*fields, "sha256", true),      requiredText(*fields, "notes", true)};
    if (!isHexDigest(feed.sha256) || !isHttpsURL(feed.downloadURL)) throw UpdateCheckError();
    const auto published = parseISO8601(feed.publishedAt);
    if (!published || *published > now + kAllowedClockSkew) throw UpdateCheckError();
    return feed;
}

}  // namespace quillmer
