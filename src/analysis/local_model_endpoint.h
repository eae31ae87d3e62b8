#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

// Where a local model server (Ollama, llama.cpp, LM Studio, vLLM…) answers OpenAI-style chat
// completions. It must be on this computer: anything else is a remote recipient.
struct LocalModelEndpoint {
    std::string baseURL;                        // the API base, e.g. "http://127.0.0.1:11434/v1"
    std::optional<std::string> unixSocketPath;  // set: HTTP goes over this socket instead of TCP
    std::string displayHost;                    // for messages: "127.0.0.1:11434" or the socket path
};

// Accepts exactly two forms and throws Error with the user's text for anything else:
// - http:// or https:// with the host 127.x.y.z (four plain decimal parts), [::1] or localhost, an
//   optional port and an optional path, the API base (trailing slashes dropped; no user, query or
//   fragment);
// - unix:/absolute/path/to/socket, meaning the base http://localhost/v1 over that socket.
// Scheme and "localhost" may be in any case; whitespace and control characters are refused.
LocalModelEndpoint parseLocalModelURL(std::string_view text);

// A model name as the server knows it ("qwen2.5vl:7b", "llava:13b", "org/model-GGUF"): 1…200
// bytes of printable UTF-8, no leading or trailing space. Throws Error otherwise.
void validateLocalModelName(std::string_view name);

}  // namespace quillmer
