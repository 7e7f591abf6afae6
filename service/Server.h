#pragma once
// The HTTP side of the service: every route and its answer.
#include "Catalogue.h"
#include "Store.h"

#include <httplib.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace service {

struct Options {
    std::string host = "127.0.0.1";
    int port = 8470;
    std::filesystem::path data;
    std::filesystem::path page;
    std::size_t threads = 64;
};

class Server {
public:
    // Prepares the data folder (database, sample catalogue, update description).
    explicit Server(Options options);

    // Binds, then serves until Stop(); false when the address cannot be bound.
    bool Run();
    void Stop() { http_.stop(); }

private:
    void Routes();
    void CatalogueList(const httplib::Request& req, httplib::Response& res, bool hot);
    void Moban(const httplib::Request& req, httplib::Response& res);
    void Update(const httplib::Request& req, httplib::Response& res);
    void Statistic(const httplib::Request& req, httplib::Response& res);
    void PageFile(const httplib::Request& req, httplib::Response& res);
    void UrlJs(const httplib::Request& req, httplib::Response& res);

    // Draws a sample picture or document into the cache; false when it cannot.
    bool Generate(const MobanItem& item, const std::filesystem::path& target);

    Options options_;
    std::filesystem::path moban_, update_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<Catalogue> catalogue_;
    std::mutex drawing_;
    httplib::Server http_;
};

// Writes the operator's update description when the data folder has none.
void CreateUpdateDescription(const std::filesystem::path& file);

}  // namespace service
