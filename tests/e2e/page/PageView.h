#pragma once
// The catalogue page in a WebKitGTK view, as the program shows it: a temporary copy of the
// staged page with its own js/url.js and a stand-in window.external. Scripts drive it; the
// view records every address the page loads.
#include <functional>
#include <string>
#include <vector>

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;

namespace pagetest {

enum class TokenMode {
    Value,   // clientAPI("GetDecrypt") answers the given token
    Throws,  // clientAPI throws
    Absent,  // no stand-in: the engine's own window.external, if any
};

struct PageOptions {
    std::string stageDir;     // the staged page (the archive's entries)
    std::string serviceBase;  // "http://127.0.0.1:port/", written as url.S and url.cloud
    std::string moreAddress = "http://127.0.0.1:9/more/";
    TokenMode token = TokenMode::Value;
    std::string tokenValue = "1765492800";
    int width = 807;  // the main window's browser area
    int height = 544;
    std::string userScript;  // run at the start of every document, after the stand-in
};

struct Request {
    std::string uri;
    enum State { Pending, Finished, Failed } state = Pending;
};

class PageView {
public:
    explicit PageView(PageOptions options);
    ~PageView();
    PageView(const PageView&) = delete;
    PageView& operator=(const PageView&) = delete;

    // Loads tavrel.html; false when it did not finish loading in time.
    bool Load(double timeoutSeconds = 60);

    // Runs a function body in the page and answers JSON.stringify of what it returns;
    // "!error: ..." when the script threw.
    std::string Run(const std::string& body);
    // Shorthand for Run("return (" + expression + ");").
    std::string Eval(const std::string& expression) { return Run("return (" + expression + ");"); }

    // Types text into the focused element and presses Enter, as key events from the display.
    void Type(const std::string& utf8);
    void PressEnter();

    // Polls a JavaScript condition until it holds; false on timeout.
    bool WaitFor(const std::string& condition, double timeoutSeconds = 30);
    // Waits until the n-th recorded request (0-based) has finished or failed.
    bool WaitForRequest(size_t index, double timeoutSeconds = 30);

    // Waits until the page has sent `count` catalogue requests and the last has finished or
    // failed.
    bool WaitForCatalogue(size_t count, double timeoutSeconds = 30);

    // Every address the page loaded since the last ClearRequests, in order.
    const std::vector<Request>& Requests() const { return requests_; }
    // Only the catalogue requests (getfw.php / getfwhot.php).
    std::vector<std::string> CatalogueRequests() const;
    void ClearRequests() { requests_.clear(); }

    // Writes the visible part of the page as PNG.
    bool Snapshot(const std::string& pngPath);

    const std::string& Folder() const { return folder_; }

private:
    static void OnResourceStarted(WebKitWebView*, void* resource, void* request, void* self);
    void SendKey(unsigned keyval);
    void Iterate(double timeoutSeconds, const std::function<bool()>& done);

    PageOptions options_;
    std::string folder_;
    GtkWidget* window_ = nullptr;
    WebKitWebView* view_ = nullptr;
    std::vector<Request> requests_;
    bool loaded_ = false;
    bool loadFailed_ = false;
};

// Quotes a text as a JavaScript string literal.
std::string JsString(const std::string& text);

}  // namespace pagetest
