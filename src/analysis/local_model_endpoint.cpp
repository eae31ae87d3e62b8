#include "analysis/local_model_endpoint.h"

#include <sys/un.h>

#include <algorithm>
#include <charconv>

#include "core/ascii_case.h"
#include "core/error.h"
#include "core/utf8.h"

namespace quillmer {

namespace {

constexpr const char* kNotOnThisComputer =
    "A local model must be on this computer: use an address such as http://127.0.0.1:11434/v1 or a Unix socket "
    "(unix:/path/to/socket). A model on another computer is a remote recipient and needs approval like any other.";
constexpr size_t kMaxSocketPathBytes = sizeof(sockaddr_un::sun_path) - 1;
constexpr size_t kMaxModelNameBytes = 200;

// A decimal number without sign or leading zeros, at most `max`.
std::optional<unsigned> plainDecimal(std::string_view text, unsigned max) {
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    if (!std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    unsigned value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value > max) return std::nullopt;
    return value;
}

// 127.x.y.z written as four plain decimal parts: no shortened, octal, hex or single-number forms,
// which resolvers read differently from people.
bool isLoopbackIPv4(std::string_view host) {
    int parts = 0;
    bool first127 = false;
    for (size_t start = 0;; ++parts) {
        const size_t dot = host.find('.', start);
        const auto part = plainDecimal(host.substr(start, dot == std::string_view::npos ? dot : dot - start), 255);
        if (!part) return false;
        if (parts == 0) first127 = *part == 127;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return parts == 3 && first127;
}

// Only the one spelling of the IPv6 loopback; mapped IPv4 and longer forms are refused.
bool isLoopbackHost(std::string_view host) {
    return host == "[::1]" || asciiLowercased(host) == "localhost" || isLoopbackIPv4(host);
}

// Well-formed UTF-8 without C0, DEL, C1 or line separators.
bool isPrintableText(std::string_view text) {
    if (!isValidUTF8(text)) return false;
    for (size_t pos = 0; pos < text.size();) {
        const size_t length = utf8SequenceLength(text, pos);
        const char32_t c = decodeUTF8CodePoint(text, pos, length);
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || isNewlineCodePoint(c)) return false;
        pos += length;
    }
    return true;
}

bool isPathCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-._~/%:@!$&'()*+,;=").find(c) != std::string_view::npos;
}

LocalModelEndpoint socketEndpoint(std::string_view path) {
    if (!path.starts_with('/') || path.starts_with("//"))
        throw Error("A local model socket must be an absolute path, such as unix:/run/model.sock.");
    if (path.size() > kMaxSocketPathBytes)
        throw Error("The local model socket path is longer than the " + std::to_string(kMaxSocketPathBytes) +
                    " bytes a Unix socket allows.");
    return {"http://localhost/v1", std::string(path), std::string(path)};
}

}  // namespace

LocalModelEndpoint parseLocalModelURL(std::string_view text) {
    if (text.empty()) throw Error("Set the local model address, such as http://127.0.0.1:11434/v1.");
    if (text.find(' ') != std::string_view::npos || !isPrintableText(text))
        throw Error("The local model address must not contain spaces or control characters.");
    if (asciiLowercased(text.substr(0, 5)) == "unix:") return socketEndpoint(text.substr(5));

    const size_t schemeEnd = text.find("://");
    const std::string scheme = asciiLowercased(text.substr(0, schemeEnd));
    if (schemeEnd == std::string_view::npos || (scheme != "http" && scheme != "https")) throw Error(kNotOnThisComputer);
    if (text.find_first_of("?#") != std::string_view::npos)
        throw Error("A local model address cannot have a query (\"?\") or fragment (\"#\"); give only the API base, "
                    "such as http://127.0.0.1:11434/v1.");
    const std::string_view rest = text.substr(schemeEnd + 3);
    const size_t pathStart = std::min(rest.find('/'), rest.size());
    const std::string_view authority = rest.substr(0, pathStart);
    std::string_view path = rest.substr(pathStart);
    if (authority.find('@') != std::string_view::npos)
        throw Error("A local model address cannot carry a user name or password (the part before \"@\").");

    // The port follows the first colon after the host ([::1] holds colons of its own).
    const size_t colon = authority.find(':', authority.starts_with('[') ? std::min(authority.find(']'), authority.size()) : 0);
    const std::string_view host = authority.substr(0, colon);
    if (!isLoopbackHost(host)) throw Error(kNotOnThisComputer);
    if (colon != std::string_view::npos) {
        const auto port = plainDecimal(authority.substr(colon + 1), 65535);
        if (!port || *port == 0) throw Error("The local model address has an invalid port; use a number from 1 to 65535.");
    }
    if (!std::ranges::all_of(path, isPathCharacter))
        throw Error("The local model address's path may hold only plain URL characters, such as /v1.");
    while (path.ends_with('/')) path.remove_suffix(1);
    return {scheme + "://" + std::string(authority) + std::string(path), std::nullopt, std::string(authority)};
}

void validateLocalModelName(std::string_view name) {
    if (name.empty() || name.size() > kMaxModelNameBytes || !isPrintableText(name) || name.front() == ' ' ||
        name.back() == ' ')
        throw Error("The local model name must be 1 to 200 bytes of printable text, such as qwen2.5vl:7b.");
}

}  // namespace quillmer
