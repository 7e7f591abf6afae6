#pragma once
// The service's SQLite database: the catalogue and the statistics reports.
#include "SampleCatalogue.h"

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace service {

struct Report {
    std::string time;  // UTC, ISO 8601
    std::string action, uid, cid, channel, ver, userAgent, remote;
};

class Store {
public:
    // Opens (creating on first use, with the sample catalogue) the database file.
    explicit Store(std::string path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    std::vector<TemplateRecord> LoadTemplates();

    // Ids of the templates whose title or author contains `keyword` as plain text
    // (ASCII letters without regard to case), most downloaded first (sort 1) or
    // newest first (sort 2). Safe from any thread.
    std::vector<std::int64_t> Search(const std::string& keyword, int sort) const;

    void AddReport(const Report& report);
    // Every report, oldest first.
    void ForEachReport(const std::function<void(const Report&)>& visit);

    // True when this run created the database.
    bool Created() const { return created_; }

private:
    std::string path_;
    sqlite3* db_ = nullptr;
    std::mutex writeLock_;
    sqlite3_stmt* insertReport_ = nullptr;
    bool created_ = false;
};

}  // namespace service
