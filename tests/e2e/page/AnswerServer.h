#pragma once
// A small JSONP server on a free loopback port whose answers a test chooses: for answers the
// real service never gives (hostile names, malformed or empty answers).
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace pagetest {

struct Entry {
    std::string vaName, vaAuthor, nDownloadCount, vaThumbPicPath, vaDetailPicPath, vaSrcWpsdlPath;
};

// {"total":total,"Results":[...]} with every member as a JSON string except the count,
// which is written as it stands (a number, or anything a test wants there).
std::string MakeAnswer(int total, const std::vector<Entry>& entries);
// `count` plausible entries numbered from `first`; each name ends with its number.
std::vector<Entry> SampleEntries(int first, int count);

class AnswerServer {
public:
    // Answers a catalogue request (path and query parameters) with a JSON text, or with
    // the exact script text when it starts with "raw:".
    using Answer = std::function<std::string(const std::string& path,
                                             const std::map<std::string, std::string>& query)>;

    // pictureFile: served for every address below "moban/".
    AnswerServer(Answer answer, std::string pictureFile);
    ~AnswerServer();

    std::string Base() const;  // "http://127.0.0.1:port/"
    void SetAnswer(Answer answer);

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex lock_;
    Answer answer_;
    std::string picture_;
};

}  // namespace pagetest
