#include "AnswerServer.h"

#include <httplib.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace pagetest {

namespace {

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

std::string MakeAnswer(int total, const std::vector<Entry>& entries) {
    std::string out = "{\"total\":" + std::to_string(total) + ",\"Results\":[";
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        out += (i ? "," : "");
        out += "{\"vaName\":" + Json(e.vaName) + ",\"vaAuthor\":" + Json(e.vaAuthor) +
               ",\"nDownloadCount\":" + e.nDownloadCount +
               ",\"vaThumbPicPath\":" + Json(e.vaThumbPicPath) +
               ",\"vaDetailPicPath\":" + Json(e.vaDetailPicPath) +
               ",\"vaSrcWpsdlPath\":" + Json(e.vaSrcWpsdlPath) + "}";
    }
    return out + "]}";
}

std::vector<Entry> SampleEntries(int first, int count) {
    static const char* const kinds[] = {"信纸",     "会议纪要", "工作总结",
                                        "劳动合同", "名片",     "述职报告"};
    std::vector<Entry> out;
    for (int i = first; i < first + count; ++i) {
        const std::string n = std::to_string(i);
        out.push_back({std::string(kinds[i % 6]) + "模板 " + n, "作者" + n,
                       std::to_string(1000 + 37 * i), "thumb/" + n + ".png", "detail/" + n + ".png",
                       "file/" + n + ".wpt"});
    }
    return out;
}

AnswerServer::AnswerServer(Answer answer, std::string pictureFile)
    : server_(std::make_unique<httplib::Server>()), answer_(std::move(answer)) {
    std::ifstream f(pictureFile, std::ios::binary);
    std::stringstream bytes;
    bytes << f.rdbuf();
    picture_ = bytes.str();

    auto catalogue = [this](const httplib::Request& req, httplib::Response& res) {
        std::map<std::string, std::string> query;
        for (const auto& [key, value] : req.params) {
            query[key] = value;
        }
        Answer answer;
        {
            std::lock_guard<std::mutex> hold(lock_);
            answer = answer_;
        }
        std::string body = answer(req.path, query);
        if (body.rfind("raw:", 0) == 0) {
            body = body.substr(4);
        } else {
            body = query["jsoncallback"] + "(" + body + ")";
        }
        res.set_header("Cache-Control", "no-cache");
        res.set_content(body, "application/javascript; charset=utf-8");
    };
    server_->Get("/getfw.php", catalogue);
    server_->Get("/getfwhot.php", catalogue);
    server_->Get(R"(/moban/.*)", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(picture_, "image/png");
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    // The socket listens from here on; connections wait until the thread accepts them.
    thread_ = std::thread([this] { server_->listen_after_bind(); });
}

AnswerServer::~AnswerServer() {
    server_->stop();
    thread_.join();
}

std::string AnswerServer::Base() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

void AnswerServer::SetAnswer(Answer answer) {
    std::lock_guard<std::mutex> hold(lock_);
    answer_ = std::move(answer);
}

}  // namespace pagetest
