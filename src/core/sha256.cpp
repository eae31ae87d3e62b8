#include "core/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "core/error.h"
#include "core/regular_file.h"

namespace quillmer {

namespace {

constexpr size_t kPieceSize = 1 << 20;

struct DigestContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextDeleter>;

DigestContext makeContext() {
    DigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        throw Error("SHA-256 is not available.");
    return context;
}

std::string finish(EVP_MD_CTX* context) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context, digest, &length) != 1) throw Error("SHA-256 is not available.");
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(digits[digest[i] >> 4]);
        hex.push_back(digits[digest[i] & 0x0F]);
    }
    return hex;
}

}  // namespace

std::string sha256Hex(std::string_view bytes) {
    auto context = makeContext();
    EVP_DigestUpdate(context.get(), bytes.data(), bytes.size());
    return finish(context.get());
}

std::string sha256HexOfFile(const std::filesystem::path& file, std::stop_token stop) {
    auto context = makeContext();
    const RegularFile source(file);
    std::vector<char> piece(kPieceSize);
    for (;;) {
        if (stop.stop_requested()) throw CancellationError();
        const ssize_t count = ::read(source.descriptor(), piece.data(), piece.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            throw FileSystemError("Could not read " + file.string() + ": " + std::strerror(error),
                                  std::error_code(error, std::generic_category()));
        }
        if (count == 0) break;
        EVP_DigestUpdate(context.get(), piece.data(), static_cast<size_t>(count));
    }
    return finish(context.get());
}

}  // namespace quillmer
