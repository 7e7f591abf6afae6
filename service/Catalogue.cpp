#include "Catalogue.h"

#include "Text.h"

#include <algorithm>

namespace service {

Catalogue::Catalogue(std::vector<TemplateRecord> templates) : templates_(std::move(templates)) {
    std::unordered_map<int, int> tabOf;
    for (const auto& s : Subcategories()) {
        tabOf[s.id] = s.tab;
    }
    std::unordered_map<int, std::vector<std::size_t>> tabAll;
    json_.reserve(templates_.size());
    for (std::size_t i = 0; i < templates_.size(); ++i) {
        const TemplateRecord& t = templates_[i];
        std::string j = "{\"vaName\":";
        AppendJsonString(j, t.name);
        j += ",\"vaAuthor\":";
        AppendJsonString(j, t.author);
        j += ",\"nDownloadCount\":" + std::to_string(t.downloads);
        j += ",\"vaThumbPicPath\":";
        AppendJsonString(j, t.thumb);
        j += ",\"vaDetailPicPath\":";
        AppendJsonString(j, t.detail);
        j += ",\"vaSrcWpsdlPath\":";
        AppendJsonString(j, t.file);
        j += ",\"nId\":" + std::to_string(t.id);
        j += ",\"vaDate\":";
        AppendJsonString(j, t.published);
        j += "}";
        json_.push_back(std::move(j));

        byCid_[t.cid].byDownloads.push_back(i);
        if (auto tab = tabOf.find(t.cid); tab != tabOf.end()) {
            tabAll[tab->second].push_back(i);
        }
        byId_[t.id] = i;
        moban_[t.thumb] = {MobanItem::kThumb, &templates_[i]};
        moban_[t.detail] = {MobanItem::kDetail, &templates_[i]};
        moban_[t.file] = {MobanItem::kFile, &templates_[i]};
    }
    auto byDownloads = [this](std::size_t a, std::size_t b) {
        const auto &x = templates_[a], &y = templates_[b];
        return x.downloads != y.downloads ? x.downloads > y.downloads : x.id < y.id;
    };
    auto byDate = [this](std::size_t a, std::size_t b) {
        const auto &x = templates_[a], &y = templates_[b];
        return x.published != y.published ? x.published > y.published : x.id > y.id;
    };
    for (auto& [cid, lists] : byCid_) {
        std::sort(lists.byDownloads.begin(), lists.byDownloads.end(), byDownloads);
        lists.byDate = lists.byDownloads;
        std::sort(lists.byDate.begin(), lists.byDate.end(), byDate);
    }
    for (auto& [tab, all] : tabAll) {
        std::sort(all.begin(), all.end(), byDownloads);
        all.resize(std::min(all.size(), kHotPicks));
        hot_[tab] = std::move(all);
    }
}

Page Catalogue::Slice(const std::vector<std::size_t>& order, std::int64_t pageNum,
                      std::int64_t pageSize) const {
    Page page;
    page.total = static_cast<std::int64_t>(order.size());
    const std::int64_t first = (pageNum - 1) * pageSize;
    for (std::int64_t i = first; i < page.total && i < first + pageSize; ++i) {
        page.entries.push_back(&templates_[order[static_cast<std::size_t>(i)]]);
    }
    return page;
}

Page Catalogue::Subcategory(int cid, int sort, std::int64_t pageNum, std::int64_t pageSize) const {
    auto it = byCid_.find(cid);
    if (it == byCid_.end()) {
        return {};
    }
    return Slice(sort == 2 ? it->second.byDate : it->second.byDownloads, pageNum, pageSize);
}

Page Catalogue::Hot(int tab, std::int64_t pageNum, std::int64_t pageSize) const {
    auto it = hot_.find(tab);
    if (it == hot_.end()) {
        return {};
    }
    return Slice(it->second, pageNum, pageSize);
}

Page Catalogue::FromIds(const std::vector<std::int64_t>& ids, std::int64_t pageNum,
                        std::int64_t pageSize) const {
    std::vector<std::size_t> order;
    order.reserve(ids.size());
    for (std::int64_t id : ids) {
        if (auto it = byId_.find(id); it != byId_.end()) {
            order.push_back(it->second);
        }
    }
    return Slice(order, pageNum, pageSize);
}

std::optional<MobanItem> Catalogue::FindMoban(const std::string& path) const {
    auto it = moban_.find(path);
    if (it == moban_.end()) {
        return std::nullopt;
    }
    return it->second;
}

const std::string& Catalogue::EntryJson(const TemplateRecord& t) const {
    return json_[byId_.at(t.id)];
}

}  // namespace service
