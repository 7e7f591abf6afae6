#pragma once
// The catalogue's subcategories and the sample templates made on first start.
#include <cstdint>
#include <string>
#include <vector>

namespace service {

struct Subcategory {
    int id;
    int tab;  // the category tab (1 to 4) the subcategory belongs to
    const char* name;
    int count;  // templates the page's label announces
};

const std::vector<Subcategory>& Subcategories();

struct TemplateRecord {
    std::int64_t id = 0;
    int cid = 0;
    std::string name;
    std::string author;
    std::int64_t downloads = 0;
    std::string published;  // YYYY-MM-DD
    std::string thumb;      // paths below "moban/"
    std::string detail;
    std::string file;
};

// The deterministic sample: as many templates per subcategory as its label shows.
std::vector<TemplateRecord> MakeSampleTemplates();

}  // namespace service
