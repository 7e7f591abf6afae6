#include "Server.h"

#include "Artwork.h"
#include "Docx.h"
#include "Text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>
#include <unordered_map>

namespace fs = std::filesystem;

namespace service {

namespace {

constexpr std::int64_t kDefaultPageSize = 6;
constexpr std::int64_t kMaxPageSize = 50;
constexpr std::int64_t kMaxPageNum = 1000000;
constexpr std::size_t kMaxKeyword = 256;
constexpr std::size_t kMaxReportField = 256;

const char kJavaScript[] = "application/javascript; charset=utf-8";

std::string UtcNow(bool withMillis) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char buf[40];
    std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    if (withMillis) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
        std::snprintf(buf + n, sizeof buf - n, ".%03dZ", static_cast<int>(ms.count()));
    } else {
        std::snprintf(buf + n, sizeof buf - n, "Z");
    }
    return buf;
}

void Fail(httplib::Response& res, int status, const char* text) {
    res.status = status;
    res.body = std::string(text) + "\n";
    res.set_header("Content-Type", "text/plain; charset=utf-8");
}

// The path below `root` named by a request's relative path, or nothing when the
// path could leave the folder ("..", ".", empty segments, backslashes, NULs, or
// links that point outside).
std::optional<fs::path> Resolve(const fs::path& root, const std::string& relative) {
    if (relative.empty() || relative.size() > 1024) {
        return std::nullopt;
    }
    fs::path out = root;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos) {
            end = relative.size();
        }
        const std::string segment = relative.substr(start, end - start);
        if (segment.empty() || segment == "." || segment == ".." ||
            segment.find_first_of(std::string("\\\0", 2)) != std::string::npos) {
            return std::nullopt;
        }
        out /= segment;
        start = end + 1;
    }
    std::error_code ec;
    if (fs::exists(out, ec)) {
        const fs::path real = fs::canonical(out, ec);
        const fs::path realRoot = fs::canonical(root, ec);
        if (ec) {
            return std::nullopt;
        }
        auto [rootEnd, realIt] =
            std::mismatch(realRoot.begin(), realRoot.end(), real.begin(), real.end());
        if (rootEnd != realRoot.end()) {
            return std::nullopt;
        }
    }
    return out;
}

bool IsRegularFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

bool ReadFile(const fs::path& p, std::string& out) {
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

const char* ContentType(const fs::path& p) {
    static const std::unordered_map<std::string, const char*> kTypes = {
        {".html", "text/html; charset=utf-8"},
        {".htm", "text/html; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".js", kJavaScript},
        {".json", "application/json; charset=utf-8"},
        {".png", "image/png"},
        {".gif", "image/gif"},
        {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},
        {".svg", "image/svg+xml"},
        {".ico", "image/x-icon"},
        {".txt", "text/plain; charset=utf-8"},
        {".ini", "text/plain; charset=utf-8"},
        {".docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {".doc", "application/msword"},
        {".pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {".ppt", "application/vnd.ms-powerpoint"},
        {".xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {".xls", "application/vnd.ms-excel"},
    };
    std::string ext = p.extension().string();
    for (char& c : ext) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    auto it = kTypes.find(ext);
    return it == kTypes.end() ? "application/octet-stream" : it->second;
}

bool IsDocument(const fs::path& p) {
    const std::string type = ContentType(p);
    return type.rfind("application/", 0) == 0 && type.find("javascript") == std::string::npos &&
           type.find("json") == std::string::npos;
}

// "attachment" with a plain fallback name and the real name in UTF-8.
std::string Attachment(const std::string& name, const std::string& fallback) {
    bool plain = !name.empty();
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F || c == '"' || c == '\\') {
            plain = false;
        }
    }
    return "attachment; filename=\"" + (plain ? name : fallback) + "\"; filename*=UTF-8''" +
           PercentEncode(name);
}

bool SendFile(httplib::Response& res, const fs::path& p) {
    std::string body;
    if (!ReadFile(p, body)) {
        return false;
    }
    res.body = std::move(body);
    res.set_header("Content-Type", ContentType(p));
    return true;
}

// A value of the query, cut to a sane length.
std::string Field(const httplib::Request& req, const char* key) {
    std::string value = req.get_param_value(key);
    if (value.size() > kMaxReportField) {
        value.resize(kMaxReportField);
    }
    return value;
}

bool IsHostText(const std::string& host) {
    if (host.empty() || host.size() > 255) {
        return false;
    }
    for (char c : host) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':' &&
            c != '[' && c != ']' && c != '_') {
            return false;
        }
    }
    return true;
}

const char kForumPage[] = R"html(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8"><title>Tavrel 帮助</title>
<style>body{font-family:"WenQuanYi Micro Hei",sans-serif;max-width:640px;margin:40px auto;
color:#333;line-height:1.6}h1{color:#2a9aa0}code{background:#eef;padding:0 4px}</style></head>
<body><h1>Tavrel 论坛求助</h1>
<p>欢迎使用 Tavrel 模板中心。常见问题：</p>
<ul>
<li><b>模板列表为空？</b> 请确认模板服务正在运行，并检查网络连接。</li>
<li><b>下载的模板如何打开？</b> 模板为 Word 文档（.docx），可用 LibreOffice 或其他办公软件打开。</li>
<li><b>如何升级？</b> 在主菜单中选择“检查更新”。</li>
</ul>
<p><a href="/">返回模板中心</a></p>
</body></html>
)html";

thread_local std::chrono::steady_clock::time_point t_requestStart;

}  // namespace

void CreateUpdateDescription(const fs::path& file) {
    std::error_code ec;
    if (fs::exists(file, ec)) {
        return;
    }
    fs::create_directories(file.parent_path(), ec);
    const fs::path temp = file.string() + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << "; Update description that Tavrel clients fetch as /update/update.ini.\n"
               "; Edit it to offer a new version; clients read it at their next update check.\n"
               ";\n"
               "; ver          version offered, compared as text with the client's own "
               "(e.g. 1.0.0.2)\n"
               "; url          address of the updater for that version; put the file next to\n"
               ";              this one and give http://<this host>/update/<file name>\n"
               "; forceUpdate  1: install without asking at the client's next start\n"
               "; UpdateInfo   description shown to the user, lines separated by |\n"
               "; CloudVerUrl, MoreUrl, S: addresses written into the page's url.js;\n"
               ";              empty or missing means the client's own defaults\n"
               "\n"
               "[upd]\n"
               "ver=" TAVREL_SERVICE_VERSION
               "\n"
               "url=\n"
               "forceUpdate=0\n"
               "UpdateInfo=\n"
               ";CloudVerUrl=\n"
               ";MoreUrl=\n"
               ";S=\n";
    }
    fs::rename(temp, file, ec);
}

Server::Server(Options options) : options_(std::move(options)) {
    fs::create_directories(options_.data);
    moban_ = options_.data / "moban";
    update_ = options_.data / "update";
    fs::create_directories(moban_);
    CreateUpdateDescription(update_ / "update.ini");
    store_ = std::make_unique<Store>((options_.data / "catalogue.db").string());
    catalogue_ = std::make_unique<Catalogue>(store_->LoadTemplates());
    Routes();
}

void Server::Routes() {
    const std::size_t threads = options_.threads;
    http_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    // Slow or vanished clients give their thread back after these.
    http_.set_read_timeout(5, 0);
    http_.set_write_timeout(5, 0);
    http_.set_keep_alive_timeout(3);
    http_.set_keep_alive_max_count(100000);
    http_.set_payload_max_length(64 * 1024);
    http_.set_tcp_nodelay(true);

    http_.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
        t_requestStart = std::chrono::steady_clock::now();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    http_.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        // Requests that never got through parsing have no start time.
        char took[32] = "-";
        if (t_requestStart != std::chrono::steady_clock::time_point()) {
            std::snprintf(took, sizeof took, "%.2fms",
                          std::chrono::duration<double, std::milli>(
                              std::chrono::steady_clock::now() - t_requestStart)
                              .count());
            t_requestStart = {};
        }
        std::string target = req.target.empty() ? req.path : req.target;
        for (char& c : target) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                c = '?';
            }
        }
        std::fprintf(stderr, "%s %s %s %s %d %zu %s\n", UtcNow(true).c_str(),
                     req.remote_addr.empty() ? "-" : req.remote_addr.c_str(),
                     req.method.empty() ? "-" : req.method.c_str(),
                     target.empty() ? "-" : target.c_str(), res.status, res.body.size(), took);
    });
    http_.set_exception_handler([](const httplib::Request&, httplib::Response& res,
                                   std::exception_ptr) { Fail(res, 500, "internal error"); });
    http_.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            res.body = std::to_string(res.status) + "\n";
            res.set_header("Content-Type", "text/plain; charset=utf-8");
        }
    });

    http_.Get("/getfw.php", [this](const httplib::Request& req, httplib::Response& res) {
        CatalogueList(req, res, false);
    });
    http_.Get("/getfwhot.php", [this](const httplib::Request& req, httplib::Response& res) {
        CatalogueList(req, res, true);
    });
    http_.Get("/moban/.*",
              [this](const httplib::Request& req, httplib::Response& res) { Moban(req, res); });
    http_.Get("/update/.*",
              [this](const httplib::Request& req, httplib::Response& res) { Update(req, res); });
    http_.Get("/statistic/statics.html",
              [this](const httplib::Request& req, httplib::Response& res) { Statistic(req, res); });
    http_.Get("/forum.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kForumPage, "text/html; charset=utf-8");
    });
    http_.Get("/js/url.js",
              [this](const httplib::Request& req, httplib::Response& res) { UrlJs(req, res); });
    http_.Get("/.*",
              [this](const httplib::Request& req, httplib::Response& res) { PageFile(req, res); });
}

bool Server::Run() {
    int port = options_.port;
    if (port == 0) {
        port = http_.bind_to_any_port(options_.host);
        if (port <= 0) {
            return false;
        }
    } else if (!http_.bind_to_port(options_.host, port)) {
        return false;
    }
    options_.port = port;
    std::fprintf(stderr, "tavrel-service: listening on %s:%d, data in %s\n", options_.host.c_str(),
                 port, options_.data.c_str());
    return http_.listen_after_bind();
}

void Server::CatalogueList(const httplib::Request& req, httplib::Response& res, bool hot) {
    std::string callback;
    if (req.has_param("jsoncallback")) {
        callback = req.get_param_value("jsoncallback");
        if (!IsScriptIdentifier(callback)) {
            return Fail(res, 400, "jsoncallback must be a script identifier");
        }
    }
    std::int64_t pageNum = ParseInteger(req.get_param_value("pageNum")).value_or(1);
    if (pageNum < 1) {
        pageNum = 1;
    }
    pageNum = std::min(pageNum, kMaxPageNum);
    std::int64_t pageSize = ParseInteger(req.get_param_value("pageSize")).value_or(0);
    if (pageSize < 1) {
        pageSize = kDefaultPageSize;
    }
    pageSize = std::min(pageSize, kMaxPageSize);
    const auto type = ParseInteger(req.get_param_value("searchType"));

    Page page;
    if (hot) {
        if (!type || *type < 0) {
            return Fail(res, 400, "searchType must be a tab number");
        }
        page = catalogue_->Hot(*type > 1000 ? 0 : static_cast<int>(*type), pageNum, pageSize);
    } else {
        const auto fun = ParseInteger(req.get_param_value("funType"));
        if (!fun || *fun < 0) {
            return Fail(res, 400, "funType must be a subcategory number");
        }
        const int sort = type == 2 ? 2 : 1;
        if (*fun == 0) {
            if (!req.has_param("keyword")) {
                return Fail(res, 400, "keyword missing");
            }
            const std::string keyword(Trim(req.get_param_value("keyword")));
            if (keyword.size() > kMaxKeyword) {
                return Fail(res, 400, "keyword too long");
            }
            if (!keyword.empty()) {
                page = catalogue_->FromIds(store_->Search(keyword, sort), pageNum, pageSize);
            }
        } else {
            page = catalogue_->Subcategory(*fun > 1000000 ? -1 : static_cast<int>(*fun), sort,
                                           pageNum, pageSize);
        }
    }

    std::string body;
    body.reserve(128 + page.entries.size() * 320);
    if (!callback.empty()) {
        body += callback;
        body += '(';
    }
    body += "{\"total\":";
    body += std::to_string(page.total);
    body += ",\"Results\":[";
    for (std::size_t i = 0; i < page.entries.size(); ++i) {
        if (i) {
            body += ',';
        }
        body += catalogue_->EntryJson(*page.entries[i]);
    }
    body += "]}";
    if (!callback.empty()) {
        body += ')';
    }
    res.body = std::move(body);
    res.set_header("Content-Type",
                   callback.empty() ? "application/json; charset=utf-8" : kJavaScript);
    res.set_header("Cache-Control", "no-cache");
}

bool Server::Generate(const MobanItem& item, const fs::path& target) {
    const char* subName = "";
    int tab = 1;
    for (const auto& s : Subcategories()) {
        if (s.id == item.entry->cid) {
            subName = s.name;
            tab = s.tab;
        }
    }
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    // Built under a private name and renamed, so a reader never sees half a file.
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%d.%zu.tmp", static_cast<int>(getpid()),
                  std::hash<std::thread::id>{}(std::this_thread::get_id()));
    const fs::path temp = target.string() + suffix;
    bool ok = false;
    if (item.kind == MobanItem::kFile) {
        ok = WriteTemplateDocx(temp.string(), *item.entry, subName, tab);
    } else {
        std::string png;
        {
            // Text layout is kept on one thread at a time.
            std::lock_guard<std::mutex> lock(drawing_);
            png = item.kind == MobanItem::kThumb ? DrawThumbnail(*item.entry, subName)
                                                 : DrawDetail(*item.entry, subName);
        }
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(png.data(), static_cast<std::streamsize>(png.size()));
        ok = static_cast<bool>(out.flush());
    }
    if (ok) {
        fs::rename(temp, target, ec);
        ok = !ec;
    }
    if (!ok) {
        fs::remove(temp, ec);
    }
    return ok;
}

void Server::Moban(const httplib::Request& req, httplib::Response& res) {
    const std::string relative = req.path.substr(std::string("/moban/").size());
    const auto path = Resolve(moban_, relative);
    if (!path) {
        return Fail(res, 400, "bad path");
    }
    const auto item = catalogue_->FindMoban(relative);
    if (!IsRegularFile(*path)) {
        if (!item || !Generate(*item, *path)) {
            return Fail(res, 404, "not found");
        }
    }
    if (!SendFile(res, *path)) {
        return Fail(res, 404, "not found");
    }
    res.set_header("Cache-Control", "public, max-age=86400");
    if (item && item->kind == MobanItem::kFile) {
        const std::string ext = path->extension().string();
        res.set_header("Content-Disposition",
                       Attachment(item->entry->name + ext,
                                  "template-" + std::to_string(item->entry->id) + ext));
    } else if (IsDocument(*path)) {
        const std::string name = path->filename().string();
        res.set_header("Content-Disposition",
                       Attachment(name, "template" + path->extension().string()));
    }
}

void Server::Update(const httplib::Request& req, httplib::Response& res) {
    const auto path = Resolve(update_, req.path.substr(std::string("/update/").size()));
    if (!path) {
        return Fail(res, 400, "bad path");
    }
    if (!IsRegularFile(*path) || !SendFile(res, *path)) {
        return Fail(res, 404, "not found");
    }
    res.set_header("Cache-Control", "no-cache");
}

void Server::Statistic(const httplib::Request& req, httplib::Response& res) {
    Report r;
    r.time = UtcNow(false);
    r.action = Field(req, "action");
    r.uid = Field(req, "uid");
    r.cid = Field(req, "cid");
    r.channel = Field(req, "channel");
    r.ver = Field(req, "ver");
    r.userAgent = req.get_header_value("User-Agent").substr(0, 2 * kMaxReportField);
    r.remote = req.remote_addr;
    store_->AddReport(r);
    res.set_content("<!DOCTYPE html><html><body>ok</body></html>\n", "text/html; charset=utf-8");
    res.set_header("Cache-Control", "no-store");
}

void Server::UrlJs(const httplib::Request& req, httplib::Response& res) {
    std::string host = req.get_header_value("Host");
    if (!IsHostText(host)) {
        const std::string listen =
            options_.host == "0.0.0.0" || options_.host == "::" ? "127.0.0.1" : options_.host;
        host = (listen.find(':') != std::string::npos ? "[" + listen + "]" : listen) + ":" +
               std::to_string(options_.port);
    }
    const std::string base = "http://" + host + "/";
    std::string body = "var url={\"cloud\":";
    AppendJsonString(body, base);
    body += ",\"more\":";
    AppendJsonString(body, base);
    body += ",\"S\":";
    AppendJsonString(body, base);
    body += "}";
    res.body = std::move(body);
    res.set_header("Content-Type", kJavaScript);
    res.set_header("Cache-Control", "no-cache");
}

void Server::PageFile(const httplib::Request& req, httplib::Response& res) {
    std::string relative = req.path.substr(1);
    if (relative.empty()) {
        relative = "tavrel.html";
    }
    const auto path = Resolve(options_.page, relative);
    if (!path) {
        return Fail(res, 400, "bad path");
    }
    if (!IsRegularFile(*path) || !SendFile(res, *path)) {
        return Fail(res, 404, "not found");
    }
}

}  // namespace service
