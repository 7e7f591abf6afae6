#pragma once
// The catalogue held in memory for the list answers, built once from the store.
#include "SampleCatalogue.h"
#include "Store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace service {

// One page of a list: the count of all matches and the entries of the page.
struct Page {
    std::int64_t total = 0;
    std::vector<const TemplateRecord*> entries;
};

// What a path below "moban/" stands for.
struct MobanItem {
    enum Kind { kThumb, kDetail, kFile } kind;
    const TemplateRecord* entry;
};

class Catalogue {
public:
    static constexpr std::size_t kHotPicks = 48;

    explicit Catalogue(std::vector<TemplateRecord> templates);

    // Sort 2 is newest first; anything else most downloaded first.
    // An unknown subcategory gives an empty list.
    Page Subcategory(int cid, int sort, std::int64_t pageNum, std::int64_t pageSize) const;
    // The most downloaded templates of a tab's subcategories.
    Page Hot(int tab, std::int64_t pageNum, std::int64_t pageSize) const;
    // A page of a list of ids in the given order (a search result).
    Page FromIds(const std::vector<std::int64_t>& ids, std::int64_t pageNum,
                 std::int64_t pageSize) const;

    std::optional<MobanItem> FindMoban(const std::string& path) const;
    const std::string& EntryJson(const TemplateRecord& t) const;

private:
    struct Lists {
        std::vector<std::size_t> byDownloads, byDate;
    };
    Page Slice(const std::vector<std::size_t>& order, std::int64_t pageNum,
               std::int64_t pageSize) const;

    std::vector<TemplateRecord> templates_;
    std::vector<std::string> json_;  // each entry's JSON object, built once
    std::unordered_map<int, Lists> byCid_;
    std::unordered_map<int, std::vector<std::size_t>> hot_;
    std::unordered_map<std::int64_t, std::size_t> byId_;
    std::unordered_map<std::string, MobanItem> moban_;
};

}  // namespace service
