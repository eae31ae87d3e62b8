#include "app/desktop/shared_review_web_view.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <variant>

#include "app/desktop/loopback_media_server.h"
#include "app/desktop/review_page_script.h"
#include "app/media_url_mapper.h"
#include "core/error.h"
#include "core/json.h"

namespace quillmer {

namespace {

constexpr const char* kScheme = "quillmer-review";
constexpr const char* kStartPage = "quillmer-review://app/index.html";

// Codes and texts of the URL-loading errors the page may see, as the web platform knows them.
GQuark urlErrorDomain() { return g_quark_from_static_string("quillmer-url-error-quark"); }

GError* urlError(SchemeFailure failure) {
    switch (failure) {
    case SchemeFailure::fileDoesNotExist:
        return g_error_new_literal(urlErrorDomain(), -1100, "The requested file does not exist.");
    case SchemeFailure::cannotOpenFile:
        return g_error_new_literal(urlErrorDomain(), -3001, "The requested file could not be opened.");
    case SchemeFailure::cannotDecodeContentData:
        return g_error_new_literal(urlErrorDomain(), -1016, "The requested file could not be read.");
    case SchemeFailure::badServerResponse:
        break;
    }
    return g_error_new_literal(urlErrorDomain(), -1011, "The response could not be built.");
}

}  // namespace

// ---- WebViewPageChannel ----------------------------------------------------------------------

WebViewPageChannel::WebViewPageChannel(WebKitWebView* view) : view_(view) {
    g_object_add_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
}

WebViewPageChannel::~WebViewPageChannel() {
    if (view_) g_object_remove_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
}

void WebViewPageChannel::deliverReply(const std::string& replyJSON) {
    evaluate("window.__quillmerNativeResolve(" + replyJSON + ")");
}

void WebViewPageChannel::deliverState(const std::string& snapshotJSON) {
    evaluate("window.__quillmerNativeState(" + snapshotJSON + ")");
}

void WebViewPageChannel::evaluate(const std::string& script) {
    if (!view_) return;
    webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
}

// ---- SharedReviewWebView ---------------------------------------------------------------------

std::string rendererMissingPage() {
    return R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Quillmer renderer is missing</title>
<style>
  body { font-family: system-ui, -apple-system, "Cantarell", "Noto Sans", sans-serif; padding: 32px; margin: 0; color: #1d2430; }
  h1 { font-size: 22px; font-weight: 600; margin: 0 0 12px; }
  p { font-size: 15px; line-height: 1.5; margin: 0; max-width: 640px; }
  code { font-family: ui-monospace, "DejaVu Sans Mono", monospace; }
</style>
</head>
<body>
<h1>Quillmer renderer is missing</h1>
<p>This build does not include the review interface. Build it with <code>cmake --build build --target renderer</code> (or <code>./scripts/build-renderer.sh</code>) in the Quillmer source folder, then start Quillmer again.</p>
</body>
</html>
)";
}

SharedReviewWebView::SharedReviewWebView(GtkWindow* window, const std::filesystem::path& rendererDirectory,
                                         CaptureEngine& capture, UserDefaults& defaults, MainQueue& mainQueue,
                                         UpdateChecker* updates)
    : context_(webkit_web_context_new()),
      view_(nullptr),
      scheme_(rendererDirectory),
      host_(window) {
    // The scheme is deliberately not registered as local: that would stop the page's same-scheme fetches.
    webkit_web_context_register_uri_scheme(
        context_, kScheme,
        [](WebKitURISchemeRequest* request, gpointer self) {
            static_cast<const SharedReviewWebView*>(self)->answerSchemeRequest(request);
        },
        this, nullptr);

    WebKitUserContentManager* content = webkit_user_content_manager_new();
    WebKitUserScript* script =
        webkit_user_script_new(reviewPageScript(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
    g_signal_connect(content, "script-message-received::quillmer",
                     G_CALLBACK(+[](WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
                         static_cast<const SharedReviewWebView*>(self)->receiveScriptMessage(result);
                     }),
                     this);
    webkit_user_content_manager_register_script_message_handler(content, "quillmer");

    view_ = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_, "user-content-manager", content, nullptr));
    g_object_unref(content);
    g_object_ref_sink(view_);
    const GdkRGBA transparent{0, 0, 0, 0};
    webkit_web_view_set_background_color(view_, &transparent);

    try {
        media_ = std::make_unique<LoopbackMediaServer>(scheme_);
    } catch (const Error&) {
        // Without a loopback port the review still works; only its video cannot play.
        media_ = std::make_unique<UnchangedMediaURLMapper>();
    }
    page_ = std::make_shared<WebViewPageChannel>(view_);
    bridge_ = makeReviewBridge(ReviewBridgeServices{capture, defaults, page_, scheme_, host_, *media_, mainQueue, updates});

    std::error_code error;
    if (std::filesystem::exists(rendererDirectory / "index.html", error)) {
        webkit_web_view_load_uri(view_, kStartPage);
    } else {
        webkit_web_view_load_html(view_, rendererMissingPage().c_str(), nullptr);
    }
}

SharedReviewWebView::~SharedReviewWebView() {
    // The bridge goes first: it may still hold the page channel.
    bridge_ = nullptr;
    if (view_) {
        g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(view_), this);
        g_object_unref(view_);
    }
    g_object_unref(context_);
}

GtkWidget* SharedReviewWebView::widget() const { return GTK_WIDGET(view_); }

void SharedReviewWebView::answerSchemeRequest(WebKitURISchemeRequest* request) const {
    const char* range = nullptr;
    if (SoupMessageHeaders* headers = webkit_uri_scheme_request_get_http_headers(request))
        range = soup_message_headers_get_one(headers, "Range");
    const auto answer = scheme_.respond(webkit_uri_scheme_request_get_uri(request),
                                        range ? std::optional<std::string_view>(range) : std::nullopt);
    if (const auto* failure = std::get_if<SchemeFailure>(&answer)) {
        GError* error = urlError(*failure);
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
        return;
    }
    const auto& response = std::get<SchemeResponse>(answer);
    std::string bytes;
    try {
        bytes = readFileRange(response.file, response.range);
    } catch (const Error&) {
        GError* error = urlError(SchemeFailure::cannotDecodeContentData);
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
        return;
    }
    const auto length = static_cast<gint64>(bytes.size());
    auto* owned = new std::string(std::move(bytes));
    GBytes* data = g_bytes_new_with_free_func(owned->data(), owned->size(),
                                      [](gpointer text) { delete static_cast<std::string*>(text); }, owned);
    GInputStream* stream = g_memory_input_stream_new_from_bytes(data);
    g_bytes_unref(data);

    WebKitURISchemeResponse* reply = webkit_uri_scheme_response_new(stream, length);
    g_object_unref(stream);
    webkit_uri_scheme_response_set_status(reply, static_cast<guint>(response.status), nullptr);
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    for (const auto& [name, value] : response.headers) {
        soup_message_headers_replace(headers, name.c_str(), value.c_str());
        if (name == "Content-Type") webkit_uri_scheme_response_set_content_type(reply, value.c_str());
    }
    webkit_uri_scheme_response_set_http_headers(reply, headers);
    webkit_uri_scheme_request_finish_with_response(request, reply);
    g_object_unref(reply);
}

void SharedReviewWebView::receiveScriptMessage(WebKitJavascriptResult* result) const {
    if (!bridge_) return;
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    gchar* text = value ? jsc_value_to_json(value, 0) : nullptr;
    if (!text) return;
    Json message;
    try {
        message = parseJSON(text);
    } catch (const Error&) {
        g_free(text);
        return;
    }
    g_free(text);
    bridge_(message);
}

}  // namespace quillmer
