#pragma once

#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

#include "analysis/local_model_endpoint.h"
#include "core/error.h"
#include "core/json.h"
#include "platform/http_transport.h"

namespace quillmer {

// feedback.json's and meeting-summary.json's "provider" for a model on this computer.
inline constexpr const char* kLocalModelProviderName = "local-model";

enum class LocalModelErrorCase { unreachable, timedOut, serverFailure, answerTooLarge, unexpectedAnswer, framesRefused };

// A failure of the local-model route; what() is the user-facing text.
class LocalModelError : public FamilyError<LocalModelErrorCase> {
public:
    using Case = LocalModelErrorCase;
    static LocalModelError unreachable(const std::string& displayHost);
    static LocalModelError timedOut(std::chrono::milliseconds limit);
    static LocalModelError serverFailure(long status, std::string_view body);
    static LocalModelError answerTooLarge();
    static LocalModelError unexpectedAnswer();
    static LocalModelError framesRefused(const std::string& reason);

private:
    using FamilyError::FamilyError;
};

struct LocalModelTimeouts {
    // One request, connection to last byte: a model on the CPU reading images can take minutes.
    std::chrono::milliseconds request{std::chrono::minutes(10)};
    // Before the one further attempt after a refused or lost connection (a server still starting).
    std::chrono::milliseconds retryPause{std::chrono::seconds(1)};
};

// The same response shape as standard JSON Schema for strict structured output: "nullable" becomes
// anyOf with null, and every object refuses members it does not list.
Json strictJSONSchema(const Json& schema);

// The model's JSON text from a chat-completions answer: choices[0].message.content, without one
// surrounding ``` fence. Throws LocalModelError::unexpectedAnswer for any other shape.
std::string localModelAnswerContent(std::string_view responseBody);

// {"type":"text","text":…} as a message content part.
void appendTextPart(std::string& body, const std::string& text);

// One OpenAI-style chat-completions exchange with a local model server, shared by the evidence and
// summary providers. Safe to use from several threads at once.
class LocalModelChat {
public:
    // Throws Error when the endpoint is not on this computer or the model name is not acceptable.
    LocalModelChat(const LocalModelEndpoint& endpoint, std::string model, HttpTransport& transport,
                   LocalModelTimeouts timeouts);

    const std::string& model() const { return model_; }

    // Sends one user message and returns the JSON the model answered with under `schema` (given in
    // the shared Gemini-style form). `appendParts` writes the message's content parts, comma-separated,
    // straight into the request body, so large images are held once.
    Json ask(const std::string& schemaName, const Json& schema, const std::function<void(std::string&)>& appendParts,
             std::stop_token stop) const;

private:
    HttpResponse send(const HttpRequest& request, std::stop_token stop) const;

    LocalModelEndpoint endpoint_;
    std::string model_;
    HttpTransport& transport_;
    LocalModelTimeouts timeouts_;
};

}  // namespace quillmer
