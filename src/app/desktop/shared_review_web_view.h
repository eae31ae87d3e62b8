#pragma once

#include <memory>
#include <string>

#include "app/desktop/gtk_host_services.h"
#include "app/desktop/review_bridge_factory.h"
#include "app/review_page_channel.h"
#include "app/review_renderer_scheme.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _GtkWindow GtkWindow;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitURISchemeRequest WebKitURISchemeRequest;
typedef struct _WebKitJavascriptResult WebKitJavascriptResult;

namespace quillmer {

class CaptureEngine;
class UpdateChecker;
class UserDefaults;

class MainQueue;
class MediaURLMapper;

// Where replies and state pushes go in the desktop view: evaluated in the page as
// window.__quillmerNativeResolve(…) / window.__quillmerNativeState(…). Dropped once the view is gone.
class WebViewPageChannel final : public ReviewPageChannel {
public:
    explicit WebViewPageChannel(WebKitWebView* view);
    ~WebViewPageChannel() override;
    WebViewPageChannel(const WebViewPageChannel&) = delete;
    WebViewPageChannel& operator=(const WebViewPageChannel&) = delete;

    void deliverReply(const std::string& replyJSON) override;
    void deliverState(const std::string& snapshotJSON) override;

private:
    void evaluate(const std::string& script);
    WebKitWebView* view_;  // weak
};

// The review web view: the "quillmer-review" scheme answered from disk, the page-side bridge script
// at document start in the main frame, the "quillmer" message handler feeding the bridge, and the
// renderer's start page (or a page saying the renderer is missing). Lives as long as its window.
class SharedReviewWebView {
public:
    SharedReviewWebView(GtkWindow* window, const std::filesystem::path& rendererDirectory, CaptureEngine& capture,
                        UserDefaults& defaults, MainQueue& mainQueue, UpdateChecker* updates = nullptr);
    ~SharedReviewWebView();
    SharedReviewWebView(const SharedReviewWebView&) = delete;
    SharedReviewWebView& operator=(const SharedReviewWebView&) = delete;

    GtkWidget* widget() const;

private:
    void answerSchemeRequest(WebKitURISchemeRequest* request) const;
    void receiveScriptMessage(WebKitJavascriptResult* result) const;

    WebKitWebContext* context_;
    WebKitWebView* view_;
    ReviewRendererScheme scheme_;
    std::unique_ptr<MediaURLMapper> media_;
    GtkHostServices host_;
    std::shared_ptr<WebViewPageChannel> page_;  // shared: the bridge may hold it weakly
    ReviewMessageHandler bridge_;
};

// The page shown when the renderer folder has no "index.html".
std::string rendererMissingPage();

}  // namespace quillmer
