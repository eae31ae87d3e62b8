#include "analysis/local_model_chat.h"

#include "analysis/analysis_retry.h"
#include "core/utf8.h"

namespace quillmer {

namespace {

constexpr size_t kMaxAnswerBytes = 4 << 20;
constexpr size_t kExcerptUnits = 300;

// A server's error text as one short line, or nothing when it is not text.
std::string excerpt(std::string_view body) {
    if (!isValidUTF8(body)) return {};
    const std::string_view prefix = prefixWithinUTF16Units(body, kExcerptUnits);
    std::string line(trimmingWhitespaceAndNewlines(prefix));
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return prefix.size() < body.size() ? line + "\u2026" : line;
}

std::string_view withoutFence(std::string_view text) {
    text = trimmingWhitespaceAndNewlines(text);
    const size_t lineEnd = text.find('\n');
    if (!text.starts_with("```") || lineEnd == std::string_view::npos || !text.ends_with("```")) return text;
    return text.substr(lineEnd + 1, text.size() - 3 - (lineEnd + 1));
}

// The configured endpoint read again through the one rule, so no caller can hand over another host.
LocalModelEndpoint checked(const LocalModelEndpoint& endpoint) {
    return parseLocalModelURL(endpoint.unixSocketPath ? "unix:" + *endpoint.unixSocketPath : endpoint.baseURL);
}

}  // namespace

LocalModelError LocalModelError::unreachable(const std::string& displayHost) {
    return {Case::unreachable,
            "Quillmer could not reach the local model at " + displayHost + ". Is the model server running?"};
}
LocalModelError LocalModelError::timedOut(std::chrono::milliseconds limit) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit).count();
    const std::string span = seconds >= 120 && seconds % 60 == 0 ? std::to_string(seconds / 60) + " minutes"
                                                                 : std::to_string(seconds) + " seconds";
    return {Case::timedOut, "The local model did not answer within " + span + "."};
}
LocalModelError LocalModelError::serverFailure(long status, std::string_view body) {
    const std::string detail = excerpt(body);
    return {Case::serverFailure, "The local model server answered HTTP " + std::to_string(status) +
                                     (detail.empty() ? "." : ": " + detail)};
}
LocalModelError LocalModelError::answerTooLarge() {
    return {Case::answerTooLarge, "The local model's answer was larger than the 4 MB Quillmer accepts, so nothing was "
                                  "taken from it."};
}
LocalModelError LocalModelError::unexpectedAnswer() {
    return {Case::unexpectedAnswer,
            "The local model's answer did not follow the requested shape, so nothing was taken from it."};
}
LocalModelError LocalModelError::framesRefused(const std::string& reason) { return {Case::framesRefused, reason}; }

Json strictJSONSchema(const Json& schema) {
    if (!schema.is_object()) return schema;
    Json out = schema;
    out.erase("nullable");
    if (out.contains("properties") && out["properties"].is_object())
        for (Json& property : out["properties"]) property = strictJSONSchema(property);
    if (out.contains("items")) out["items"] = strictJSONSchema(out["items"]);
    if (out.contains("type") && out["type"] == "object") out["additionalProperties"] = false;
    if (!(schema.contains("nullable") && schema["nullable"] == true)) return out;
    return Json{{"anyOf", Json::array({out, Json{{"type", "null"}}})}};
}

std::string localModelAnswerContent(std::string_view responseBody) {
    Json envelope;
    try {
        envelope = parseJSON(responseBody);
    } catch (const DecodingError&) {
        throw LocalModelError::unexpectedAnswer();
    }
    const Json* node = &envelope;
    for (const char* key : {"choices", "", "message", "content"}) {
        if (*key == '\0') {
            if (!node->is_array() || node->empty()) throw LocalModelError::unexpectedAnswer();
            node = &(*node)[0];
        } else {
            if (!node->is_object() || !node->contains(key)) throw LocalModelError::unexpectedAnswer();
            node = &(*node)[key];
        }
    }
    if (!node->is_string()) throw LocalModelError::unexpectedAnswer();
    return std::string(withoutFence(node->get_ref<const std::string&>()));
}

void appendTextPart(std::string& body, const std::string& text) {
    body += "{\"type\":\"text\",\"text\":" + encodeCompactJSON(text) + "}";
}

LocalModelChat::LocalModelChat(const LocalModelEndpoint& endpoint, std::string model, HttpTransport& transport,
                               LocalModelTimeouts timeouts)
    : endpoint_(checked(endpoint)), model_(std::move(model)), transport_(transport), timeouts_(timeouts) {
    validateLocalModelName(model_);
}

Json LocalModelChat::ask(const std::string& schemaName, const Json& schema,
                         const std::function<void(std::string&)>& appendParts, std::stop_token stop) const {
    std::string body = "{\"model\":" + encodeCompactJSON(model_) + ",\"messages\":[{\"role\":\"user\",\"content\":[";
    appendParts(body);
    const Json format = {{"type", "json_schema"},
                         {"json_schema", {{"name", schemaName}, {"strict", true}, {"schema", strictJSONSchema(schema)}}}};
    body += "]}],\"response_format\":" + encodeCompactJSON(format) + ",\"stream\":false,\"temperature\":0}";

    HttpRequest request;
    request.method = "POST";
    request.url = endpoint_.baseURL + "/chat/completions";
    request.unixSocketPath = endpoint_.unixSocketPath;
    request.headers = {{"Content-Type", "application/json"}};
    request.body = std::move(body);
    request.timeout = timeouts_.request;
    request.maxResponseBytes = kMaxAnswerBytes;
    const HttpResponse response = send(request, stop);
    if (response.status < 200 || response.status > 299)
        throw LocalModelError::serverFailure(response.status, response.body);
    try {
        return parseJSON(localModelAnswerContent(response.body));
    } catch (const DecodingError&) {
        throw LocalModelError::unexpectedAnswer();
    }
}

// One more attempt only after a refused or lost connection; a time-out already waited long enough.
HttpResponse LocalModelChat::send(const HttpRequest& request, std::stop_token stop) const {
    for (int attempt = 1;; ++attempt) {
        try {
            return transport_.send(request, stop);
        } catch (const HttpTransportError& error) {
            switch (error.kind()) {
                case HttpTransportError::Kind::responseTooLarge:
                    throw LocalModelError::answerTooLarge();
                case HttpTransportError::Kind::timedOut:
                    throw LocalModelError::timedOut(timeouts_.request);
                case HttpTransportError::Kind::unreachable:
                    if (attempt >= 2) throw LocalModelError::unreachable(endpoint_.displayHost);
                    sleepUnlessStopped(timeouts_.retryPause, stop);
                    break;
                case HttpTransportError::Kind::other:
                    throw;
            }
        }
    }
}

}  // namespace quillmer
