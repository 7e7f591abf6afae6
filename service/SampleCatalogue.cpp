#include "SampleCatalogue.h"

#include <chrono>
#include <cstdio>

namespace service {

const std::vector<Subcategory>& Subcategories() {
    static const std::vector<Subcategory> kAll = {
        {1, 1, "字帖", 35},       {2, 1, "会议", 36},       {3, 1, "信纸", 525},
        {4, 1, "传真", 20},       {5, 1, "稿纸", 69},       {6, 1, "红头文件", 17},
        {7, 1, "名片", 27},       {8, 1, "公文", 91},       {9, 1, "招投标", 3},
        {10, 2, "述职报告", 18},  {11, 2, "自我鉴定", 122}, {12, 2, "报告总结", 290},
        {13, 2, "自我评价", 63},  {14, 3, "借据", 6},       {15, 3, "委托书", 16},
        {16, 3, "证明书", 6},     {17, 3, "合同书", 60},    {18, 3, "产权合同", 9},
        {19, 4, "励志哲理", 356},
    };
    return kAll;
}

namespace {

std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

const std::vector<std::vector<const char*>>& Nouns() {
    static const std::vector<std::vector<const char*>> kNouns = {
        {},
        {"楷书字帖", "行书字帖", "硬笔字帖", "钢笔字帖", "田字格字帖", "米字格字帖", "小学生字帖"},
        {"会议记录", "会议纪要", "会议通知", "会议签到表", "会议议程", "会议邀请函"},
        {"信纸", "横线信纸", "花边信纸", "信笺"},
        {"传真封面", "传真单", "传真稿纸"},
        {"作文稿纸", "方格稿纸", "400字稿纸", "信稿纸"},
        {"红头文件", "政府红头文件", "公司红头文件"},
        {"名片", "个人名片", "企业名片"},
        {"通知", "请示", "工作报告", "公函", "批复", "公告", "通报", "决定"},
        {"招标书", "投标书", "招标公告"},
        {"述职报告", "个人述职报告", "年度述职报告"},
        {"自我鉴定", "毕业生自我鉴定", "实习自我鉴定", "转正自我鉴定"},
        {"工作总结", "年终总结", "工作报告", "季度总结", "项目总结"},
        {"自我评价", "学生自我评价", "员工自我评价"},
        {"借据", "借条", "欠条"},
        {"授权委托书", "委托书"},
        {"证明书", "收入证明", "在职证明"},
        {"劳动合同", "租赁合同", "购销合同", "服务合同", "借款合同"},
        {"房屋买卖合同", "产权转让合同", "股权转让协议"},
        {"励志名言", "人生哲理", "励志短文", "哲理故事"},
    };
    return kNouns;
}

const char* const kThemes[] = {"简约", "商务", "清新", "古典", "典雅", "精美", "卡通",
                               "水墨", "复古", "时尚", "大气", "温馨", "田园", "中国风",
                               "蓝色", "红色", "淡雅", "校园", "实用", "通用"};
constexpr int kThemeCount = sizeof(kThemes) / sizeof(kThemes[0]);

// Further variants of a title once every theme has been used.
const char* const kEditions[] = {"（竖版）",   "（横版）", "（A4）",     "（精简版）",
                                 "（彩色版）", "（双栏）", "（打印版）", "（完整版）"};
constexpr int kEditionCount = sizeof(kEditions) / sizeof(kEditions[0]);

const char* const kAuthors[] = {"王晓明",    "李静",        "张伟",       "刘芳",       "陈杰",
                                "杨雪",      "赵磊",        "黄丽",       "周涛",       "吴敏",
                                "徐强",      "孙悦",        "马云飞",     "朱琳",       "胡军",
                                "郭婷",      "林小雨",      "何平",       "高远",       "罗佳",
                                "Lina Chen", "Tom O'Brien", "Anna Weber", "Kenji Sato", "办公助手"};
constexpr int kAuthorCount = sizeof(kAuthors) / sizeof(kAuthors[0]);

// A few titles with characters that callers must treat as plain text.
const char* SpecialTitle(int cid, int index) {
    if (cid == 2 && index == 0) {
        return "Q&A 会议纪要";
    }
    if (cid == 2 && index == 1) {
        return "会议记录 \"标准版\"";
    }
    if (cid == 10 && index == 0) {
        return "100% 达标述职报告";
    }
    if (cid == 12 && index == 0) {
        return "C:\\报告\\年终总结 <草稿>";
    }
    return nullptr;
}

std::string DateText(std::int64_t daysSinceEpoch) {
    using namespace std::chrono;
    const year_month_day ymd{sys_days{days{daysSinceEpoch}}};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return buf;
}

}  // namespace

std::vector<TemplateRecord> MakeSampleTemplates() {
    using namespace std::chrono;
    const std::int64_t firstDay = sys_days{year{2020} / January / 1}.time_since_epoch().count();
    std::vector<TemplateRecord> out;
    std::int64_t id = 0;
    for (const Subcategory& sub : Subcategories()) {
        const auto& nouns = Nouns()[static_cast<std::size_t>(sub.id)];
        const int nounCount = static_cast<int>(nouns.size());
        for (int i = 0; i < sub.count; ++i) {
            TemplateRecord t;
            t.id = ++id;
            t.cid = sub.id;
            if (const char* special = SpecialTitle(sub.id, i)) {
                t.name = special;
            } else {
                t.name = std::string(kThemes[(i / nounCount) % kThemeCount]) + nouns[i % nounCount];
                const int edition = i / (nounCount * kThemeCount);
                if (edition > 0) {
                    t.name += kEditions[(edition - 1) % kEditionCount];
                    if (edition > kEditionCount) {
                        t.name += std::to_string(edition / kEditionCount + 1);
                    }
                }
            }
            const std::uint64_t r = SplitMix(static_cast<std::uint64_t>(t.id));
            t.author = kAuthors[r % kAuthorCount];
            // Few templates are downloaded a lot, most a little.
            const double u = static_cast<double>((r >> 8) & 0xFFFF) / 65535.0;
            t.downloads = static_cast<std::int64_t>(30000.0 * u * u * u) + (r >> 24) % 40;
            t.published = DateText(firstDay + static_cast<std::int64_t>((r >> 32) % 2190));
            t.thumb = "thumb/" + std::to_string(t.id) + ".png";
            t.detail = "detail/" + std::to_string(t.id) + ".png";
            t.file = "file/" + std::to_string(t.id) + ".docx";
            out.push_back(std::move(t));
        }
    }
    return out;
}

}  // namespace service
