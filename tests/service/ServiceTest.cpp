// The catalogue service, run as the real binary on a free loopback port.
#include "ServiceHarness.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <set>
#include <thread>

namespace {

using svc::Get;
using svc::HttpResponse;
using svc::Json;

// Subcategory ids, tabs and the counts their labels announce.
struct Sub {
    int id, tab, count;
};
const Sub kSubs[] = {{1, 1, 35},   {2, 1, 36},   {3, 1, 525}, {4, 1, 20},  {5, 1, 69},
                     {6, 1, 17},   {7, 1, 27},   {8, 1, 91},  {9, 1, 3},   {10, 2, 18},
                     {11, 2, 122}, {12, 2, 290}, {13, 2, 63}, {14, 3, 6},  {15, 3, 16},
                     {16, 3, 6},   {17, 3, 60},  {18, 3, 9},  {19, 4, 356}};

std::string Lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int n = 0;
        const std::string name = "svc" + std::to_string(++n);
        page_ = testenv::MakeDir(name + "-page");
        testenv::WriteText(page_ + "/tavrel.html", "<!DOCTYPE html><title>catalogue</title>");
        testenv::MakeDir(name + "-page/css");
        testenv::WriteText(page_ + "/css/css.css", "body{color:#6ed7db}");
        service_ = std::make_unique<svc::ServiceProcess>(testenv::Root() + "/" + name, page_);
        ASSERT_TRUE(service_->Start()) << service_->Log();
    }

    HttpResponse Fetch(const std::string& target) { return Get(service_->Port(), target); }

    // The JSONP answer of a list request, unwrapped and parsed.
    Json List(const std::string& target) {
        const HttpResponse r = Fetch(target + "&jsoncallback=cb");
        EXPECT_EQ(r.status, 200) << target << "\n" << r.body;
        EXPECT_NE(r.Header("content-type").find("javascript"), std::string::npos);
        Json json;
        const bool wrapped =
            r.body.size() > 4 && r.body.compare(0, 3, "cb(") == 0 && r.body.back() == ')';
        EXPECT_TRUE(wrapped) << r.body.substr(0, 200);
        if (wrapped) {
            EXPECT_TRUE(svc::ParseJson(r.body.substr(3, r.body.size() - 4), json))
                << r.body.substr(0, 400);
        }
        return json;
    }

    static void ExpectEntry(const Json& e) {
        ASSERT_EQ(e.type, Json::kObject);
        for (const char* key :
             {"vaName", "vaAuthor", "vaThumbPicPath", "vaDetailPicPath", "vaSrcWpsdlPath"}) {
            EXPECT_EQ(e[key].type, Json::kString) << key;
            EXPECT_FALSE(e[key].string.empty()) << key;
        }
        EXPECT_EQ(e["nDownloadCount"].type, Json::kNumber);
        EXPECT_GE(e["nDownloadCount"].number, 0);
    }

    std::string page_;
    std::unique_ptr<svc::ServiceProcess> service_;
};

TEST_F(ServiceTest, SubcategoryTotalsMatchTheLabelsAndPagesHaveSixEntries) {
    int all = 0;
    for (const Sub& sub : kSubs) {
        const Json j = List("/getfw.php?funType=" + std::to_string(sub.id) +
                            "&searchType=1&pageNum=1&pageSize=6&date=1702901234");
        EXPECT_EQ(j["total"].number, sub.count) << "subcategory " << sub.id;
        ASSERT_EQ(j["Results"].type, Json::kArray);
        EXPECT_EQ(j["Results"].array.size(), static_cast<std::size_t>(std::min(6, sub.count)));
        for (const Json& e : j["Results"].array) {
            ExpectEntry(e);
        }
        all += static_cast<int>(j["total"].number);
    }
    EXPECT_EQ(all, 1769);
}

TEST_F(ServiceTest, PagesOfASubcategoryCoverEachTemplateOnce) {
    std::set<std::string> seen;
    const int pages = (525 + 5) / 6;
    for (int p = 1; p <= pages; ++p) {
        const Json j = List("/getfw.php?funType=3&searchType=1&pageNum=" + std::to_string(p) +
                            "&pageSize=6&date=");
        ASSERT_EQ(j["total"].number, 525);
        EXPECT_EQ(j["Results"].array.size(), p < pages ? 6u : 525u - 6u * (pages - 1));
        for (const Json& e : j["Results"].array) {
            EXPECT_TRUE(seen.insert(e["vaSrcWpsdlPath"].string).second)
                << "twice: " << e["vaSrcWpsdlPath"].string;
        }
    }
    EXPECT_EQ(seen.size(), 525u);
    const Json after = List("/getfw.php?funType=3&searchType=1&pageNum=89&pageSize=6&date=");
    EXPECT_EQ(after["total"].number, 525);
    EXPECT_TRUE(after["Results"].array.empty());
}

TEST_F(ServiceTest, SortOneIsByDownloadsAndSortTwoByFreshness) {
    auto whole = [&](int sort) {
        std::vector<Json> out;
        for (int p = 1; p <= 6; ++p) {
            Json j = List("/getfw.php?funType=12&searchType=" + std::to_string(sort) +
                          "&pageNum=" + std::to_string(p) + "&pageSize=50&date=");
            for (const Json& e : j["Results"].array) {
                out.push_back(e);
            }
        }
        return out;
    };
    const auto popular = whole(1);
    const auto fresh = whole(2);
    ASSERT_EQ(popular.size(), 290u);
    ASSERT_EQ(fresh.size(), 290u);
    for (std::size_t i = 1; i < popular.size(); ++i) {
        EXPECT_GE(popular[i - 1]["nDownloadCount"].number, popular[i]["nDownloadCount"].number)
            << "position " << i;
        EXPECT_GE(fresh[i - 1]["vaDate"].string, fresh[i]["vaDate"].string) << "position " << i;
    }
    std::set<std::string> a, b;
    for (std::size_t i = 0; i < 290; ++i) {
        a.insert(popular[i]["vaSrcWpsdlPath"].string);
        b.insert(fresh[i]["vaSrcWpsdlPath"].string);
    }
    EXPECT_EQ(a, b);
    EXPECT_NE(popular[0]["vaSrcWpsdlPath"].string, fresh[0]["vaSrcWpsdlPath"].string);
}

TEST_F(ServiceTest, HotPicksAreTheMostDownloadedOfTheTab) {
    for (int tab : {2, 3}) {
        std::vector<double> counts;
        for (const Sub& sub : kSubs) {
            if (sub.tab != tab) {
                continue;
            }
            for (int p = 1; p <= 3; ++p) {
                const Json j =
                    List("/getfw.php?funType=" + std::to_string(sub.id) +
                         "&searchType=1&pageNum=" + std::to_string(p) + "&pageSize=50&date=");
                for (const Json& e : j["Results"].array) {
                    counts.push_back(e["nDownloadCount"].number);
                }
            }
        }
        std::sort(counts.rbegin(), counts.rend());
        const Json hot =
            List("/getfwhot.php?searchType=" + std::to_string(tab) + "&pageNum=1&pageSize=6&date=");
        ASSERT_EQ(hot["Results"].array.size(), 6u) << "tab " << tab;
        EXPECT_GE(hot["total"].number, 6);
        for (std::size_t i = 0; i < 6; ++i) {
            ExpectEntry(hot["Results"].array[i]);
            EXPECT_EQ(hot["Results"].array[i]["nDownloadCount"].number, counts[i])
                << "tab " << tab << " position " << i;
        }
    }
    EXPECT_EQ(List("/getfwhot.php?searchType=4&pageNum=1&pageSize=6&date=")["Results"].array.size(),
              6u);
}

TEST_F(ServiceTest, SearchTreatsTheKeywordAsPlainText) {
    struct Case {
        std::string keyword;
        int expected;  // -1: at least one
    } cases[] = {
        {"Q&A", 1}, {"\"标准版\"", 1},  {"%", 1},        {"100%", 1},
        {"_", 0},   {"'", -1},          {"o'brien", -1}, {"会议纪要", -1},
        {"\\", 1},  {"' OR 1=1 --", 0}, {"%' --", 0},    {"不存在的模板", 0},
    };
    for (const Case& c : cases) {
        const Json j = List("/getfw.php?funType=0&searchType=1&pageNum=1&pageSize=50&keyword=" +
                            svc::UrlEncode(c.keyword) + "&date=");
        if (c.expected >= 0) {
            EXPECT_EQ(j["total"].number, c.expected) << c.keyword;
        } else {
            EXPECT_GE(j["total"].number, 1) << c.keyword;
        }
        EXPECT_EQ(j["Results"].array.size(),
                  static_cast<std::size_t>(std::min(50.0, j["total"].number)));
        for (const Json& e : j["Results"].array) {
            const std::string text = Lower(e["vaName"].string + "\n" + e["vaAuthor"].string);
            EXPECT_NE(text.find(Lower(c.keyword)), std::string::npos)
                << c.keyword << " in " << text;
        }
    }
    // The page used to send the keyword unencoded: raw UTF-8 finds the same.
    const Json raw =
        List("/getfw.php?funType=0&searchType=2&pageNum=1&pageSize=6&keyword=会议纪要");
    const Json encoded = List("/getfw.php?funType=0&searchType=2&pageNum=1&pageSize=6&keyword=" +
                              svc::UrlEncode("会议纪要"));
    EXPECT_EQ(raw["total"].number, encoded["total"].number);
    EXPECT_GE(raw["total"].number, 1);
}

TEST_F(ServiceTest, CallbackMustBeAPlainIdentifier) {
    for (const std::string& bad :
         std::vector<std::string>{"alert(1)", "a.b", "1abc", "", "a%20b", "%3Cscript%3E",
                                  "x;alert(1)", "cb%0A", std::string(200, 'a')}) {
        const HttpResponse r =
            Fetch("/getfw.php?funType=3&searchType=1&pageNum=1&pageSize=6&jsoncallback=" + bad);
        EXPECT_EQ(r.status, 400) << bad;
        EXPECT_EQ(r.body.find("vaName"), std::string::npos) << bad;
    }
    for (const std::string good : {"jsonp1702901234567", "$cb", "_x1", "jQuery1420_99"}) {
        const HttpResponse r =
            Fetch("/getfwhot.php?searchType=1&pageNum=1&pageSize=6&jsoncallback=" + good);
        EXPECT_EQ(r.status, 200) << good;
        EXPECT_EQ(r.body.rfind(good + "({\"total\":", 0), 0u) << r.body.substr(0, 60);
    }
}

TEST_F(ServiceTest, BadNumbersGiveTheFirstPageOrARefusal) {
    struct Case {
        std::string query;
        int status;
        std::size_t entries;  // expected entries of a 200 answer
    } cases[] = {
        {"funType=3&searchType=1&pageNum=-1&pageSize=6", 200, 6},
        {"funType=3&searchType=1&pageNum=abc&pageSize=6", 200, 6},
        {"funType=3&searchType=1&pageNum=99999999999999999999999&pageSize=6", 200, 6},
        {"funType=3&searchType=1&pageNum=1e3&pageSize=6", 200, 6},
        {"funType=3&searchType=1&pageSize=6", 200, 6},
        {"funType=3&searchType=1&pageNum=2000000000&pageSize=6", 200, 0},
        {"funType=3&searchType=1&pageNum=9223372036854775807&pageSize=9223372036854775807", 200, 0},
        {"funType=3&searchType=1&pageNum=1&pageSize=0", 200, 6},
        {"funType=3&searchType=1&pageNum=1&pageSize=-5", 200, 6},
        {"funType=3&searchType=1&pageNum=1&pageSize=abc", 200, 6},
        {"funType=3&searchType=1&pageNum=1&pageSize=1000000", 200, 50},
        {"funType=3&searchType=xyz&pageNum=1&pageSize=6", 200, 6},
        {"funType=3&searchType=-7&pageNum=1&pageSize=6", 200, 6},
        {"funType=99999999999&searchType=1&pageNum=1&pageSize=6", 200, 0},
        {"funType=77&searchType=1&pageNum=1&pageSize=6", 200, 0},
        {"funType=abc&searchType=1&pageNum=1&pageSize=6", 400, 0},
        {"funType=-3&searchType=1&pageNum=1&pageSize=6", 400, 0},
        {"searchType=1&pageNum=1&pageSize=6", 400, 0},
        {"funType=0&searchType=1&pageNum=1&pageSize=6", 400, 0},
        {"funType=0&keyword=&searchType=1&pageNum=1&pageSize=6", 200, 0},
        {"funType=0&keyword=" + std::string(300, 'x') + "&searchType=1", 400, 0},
    };
    for (const Case& c : cases) {
        const HttpResponse r = Fetch("/getfw.php?" + c.query + "&jsoncallback=cb");
        EXPECT_EQ(r.status, c.status) << c.query << "\n" << r.body;
        EXPECT_EQ(Lower(r.body).find("sql"), std::string::npos) << c.query;
        if (r.status == 200 && r.body.size() > 4) {
            Json j;
            ASSERT_TRUE(svc::ParseJson(r.body.substr(3, r.body.size() - 4), j)) << c.query;
            EXPECT_EQ(j["Results"].array.size(), c.entries) << c.query;
        }
    }
    for (const std::string q : {"searchType=abc", "searchType=-1", "pageNum=1"}) {
        EXPECT_EQ(Fetch("/getfwhot.php?" + q + "&jsoncallback=cb").status, 400) << q;
    }
    const Json first = List("/getfw.php?funType=3&searchType=1&pageNum=1&pageSize=6");
    const Json garbage = List("/getfw.php?funType=3&searchType=1&pageNum=zz&pageSize=6");
    EXPECT_EQ(first["Results"].array[0]["vaSrcWpsdlPath"].string,
              garbage["Results"].array[0]["vaSrcWpsdlPath"].string);
}

TEST_F(ServiceTest, MobanPathsStayInsideTheirFolder) {
    // A link inside the folder that points outside it.
    ASSERT_EQ(symlink(service_->Data().c_str(), (service_->Data() + "/moban/out").c_str()), 0);
    for (const std::string target :
         {"/moban/../catalogue.db", "/moban/%2e%2e/catalogue.db", "/moban/%2E%2E%2Fcatalogue.db",
          "/moban/thumb/../../catalogue.db", "/moban/..%2fcatalogue.db",
          "/moban/%2e%2e%5ccatalogue.db", "/moban//catalogue.db", "/moban/./thumb/1.png",
          "/moban/thumb/%00.png", "/moban/out/catalogue.db", "/moban/out/update/update.ini",
          "/update/../catalogue.db", "/update/%2e%2e/catalogue.db", "/../catalogue.db",
          "/%2e%2e/catalogue.db"}) {
        const HttpResponse r = Fetch(target);
        EXPECT_NE(r.status, 200) << target;
        EXPECT_GT(r.status, 0) << target;
        EXPECT_EQ(r.body.find("SQLite format"), std::string::npos) << target;
        EXPECT_EQ(r.body.find("[upd]"), std::string::npos) << target;
    }
    EXPECT_EQ(Fetch("/moban/thumb/999999.png").status, 404);
    EXPECT_EQ(Fetch("/moban/thumb/1.png").status, 200);
}

TEST_F(ServiceTest, PicturesArePngsOfTheirSizes) {
    const Json j = List("/getfw.php?funType=19&searchType=1&pageNum=1&pageSize=1");
    ASSERT_EQ(j["Results"].array.size(), 1u);
    const Json& e = j["Results"].array[0];
    auto size = [](const std::string& png, unsigned& w, unsigned& h) {
        ASSERT_GE(png.size(), 24u);
        ASSERT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
        auto be = [&](std::size_t at) {
            return (static_cast<unsigned>(static_cast<unsigned char>(png[at])) << 24) |
                   (static_cast<unsigned>(static_cast<unsigned char>(png[at + 1])) << 16) |
                   (static_cast<unsigned>(static_cast<unsigned char>(png[at + 2])) << 8) |
                   static_cast<unsigned>(static_cast<unsigned char>(png[at + 3]));
        };
        w = be(16);
        h = be(20);
    };
    const HttpResponse thumb = Fetch("/moban/" + e["vaThumbPicPath"].string);
    ASSERT_EQ(thumb.status, 200);
    EXPECT_EQ(thumb.Header("content-type"), "image/png");
    unsigned w = 0, h = 0;
    size(thumb.body, w, h);
    EXPECT_EQ(w, 186u);
    EXPECT_EQ(h, 120u);
    const HttpResponse detail = Fetch("/moban/" + e["vaDetailPicPath"].string);
    ASSERT_EQ(detail.status, 200);
    size(detail.body, w, h);
    EXPECT_GT(w, 186u);
    EXPECT_GT(h, 120u);
    // Cached: the second answer is the same picture.
    EXPECT_EQ(Fetch("/moban/" + e["vaThumbPicPath"].string).body, thumb.body);
}

TEST_F(ServiceTest, ConcurrentFirstRequestsOfAPictureAllGetTheWholeFile) {
    std::vector<std::string> bodies(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        threads.emplace_back([&, i] {
            const HttpResponse r = Get(service_->Port(), "/moban/detail/1500.png");
            bodies[i] = r.status == 200 ? r.body : "";
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    ASSERT_FALSE(bodies[0].empty());
    for (const auto& b : bodies) {
        EXPECT_EQ(b, bodies[0]);
    }
}

TEST_F(ServiceTest, TemplateDownloadIsANamedWordDocument) {
    const Json j = List("/getfw.php?funType=3&searchType=2&pageNum=1&pageSize=1");
    ASSERT_EQ(j["Results"].array.size(), 1u);
    const Json& e = j["Results"].array[0];
    const HttpResponse r = Fetch("/moban/" + e["vaSrcWpsdlPath"].string);
    ASSERT_EQ(r.status, 200);
    const std::string disposition = r.Header("content-disposition");
    EXPECT_EQ(disposition.rfind("attachment;", 0), 0u) << disposition;
    EXPECT_NE(disposition.find("filename*=UTF-8''" + svc::UrlEncode(e["vaName"].string + ".docx")),
              std::string::npos)
        << disposition;
    EXPECT_NE(r.Header("content-type").find("wordprocessingml"), std::string::npos);
    ASSERT_EQ(r.body.compare(0, 4, "PK\x03\x04"), 0);

    const std::string file = testenv::Root() + "/download.docx";
    testenv::WriteText(file, r.body);
    int status = -1;
    svc::Run("unzip -tq '" + file + "' >/dev/null 2>&1", &status);
    EXPECT_EQ(status, 0) << "not a valid zip";
    const std::string types = svc::Run("unzip -p '" + file + "' '[[]Content_Types].xml'");
    EXPECT_NE(types.find("wordprocessingml.document.main+xml"), std::string::npos) << types;
    const std::string document = svc::Run("unzip -p '" + file + "' word/document.xml");
    EXPECT_NE(document.find("<w:document"), std::string::npos);
    EXPECT_NE(document.find(e["vaName"].string), std::string::npos);
}

TEST_F(ServiceTest, UpdateDescriptionAndTheFilesNextToIt) {
    const HttpResponse r = Fetch("/update/update.ini");
    ASSERT_EQ(r.status, 200);
    EXPECT_NE(r.body.find("[upd]"), std::string::npos);
    EXPECT_NE(r.body.find("\nver=1.0.0.1\n"), std::string::npos) << r.body;
    EXPECT_NE(r.body.find("\nurl=\n"), std::string::npos) << r.body;

    // What the operator puts there is what clients get.
    const std::string folder = service_->Data() + "/update";
    testenv::WriteText(folder + "/update.ini",
                       "[upd]\nver=1.0.0.2\nurl=http://127.0.0.1/update/XvoUpdate.bin\n");
    std::string updater = "updater\x00\x01\x02 bytes";
    updater += std::string(100000, '\x7f');
    testenv::WriteText(folder + "/XvoUpdate.bin", updater);
    EXPECT_NE(Fetch("/update/update.ini").body.find("ver=1.0.0.2"), std::string::npos);
    const HttpResponse bin = Fetch("/update/XvoUpdate.bin");
    EXPECT_EQ(bin.status, 200);
    EXPECT_EQ(bin.body, updater);
    EXPECT_EQ(Fetch("/update/missing.exe").status, 404);
}

TEST_F(ServiceTest, StatisticsReportsAreStoredAndListed) {
    const std::string cid = "0123456789abcdef0123456789abcdef";
    const HttpResponse r =
        Get(service_->Port(),
            "/statistic/statics.html?action=5&uid=0&cid=" + cid + "&channel=0&ver=1.0.0.1",
            {"User-Agent: TavrelTest/1.0"});
    EXPECT_EQ(r.status, 200);
    // Quotes and tabs are data, not syntax.
    EXPECT_EQ(Fetch("/statistic/statics.html?action=2&uid=0&cid=x'%22%09y&channel=0&ver=").status,
              200);
    int status = -1;
    const std::string listed = svc::Run(
        "'" + svc::ServiceBinary() + "' report --data '" + service_->Data() + "'", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(listed.find("\t5\t0\t" + cid + "\t0\t1.0.0.1\tTavrelTest/1.0\t"), std::string::npos)
        << listed;
    EXPECT_NE(listed.find("\t2\t0\tx'\" y\t0\t\t"), std::string::npos) << listed;
    EXPECT_LT(listed.find("\t5\t0\t"), listed.find("\t2\t0\t"));
}

TEST_F(ServiceTest, RestartKeepsDataAndSigtermEndsCleanly) {
    EXPECT_EQ(Fetch("/statistic/statics.html?action=7&uid=0&cid=keep&channel=0&ver=1").status, 200);
    testenv::WriteText(service_->Data() + "/update/update.ini", "[upd]\nver=9.9.9.9\n");
    const std::string thumb = Fetch("/moban/thumb/5.png").body;
    // An idle kept-alive connection does not hold the shutdown.
    const int idle = svc::Connect(service_->Port());
    ASSERT_GE(idle, 0);
    EXPECT_EQ(service_->Stop(SIGTERM), 0);
    close(idle);
    EXPECT_NE(service_->Log().find("GET /moban/thumb/5.png 200"), std::string::npos)
        << service_->Log();

    ASSERT_TRUE(service_->Start()) << service_->Log();
    EXPECT_NE(Fetch("/update/update.ini").body.find("ver=9.9.9.9"), std::string::npos);
    EXPECT_EQ(Fetch("/moban/thumb/5.png").body, thumb);
    EXPECT_EQ(List("/getfw.php?funType=3&searchType=1&pageNum=1&pageSize=6")["total"].number, 525);
    const std::string listed =
        svc::Run("'" + svc::ServiceBinary() + "' report --data '" + service_->Data() + "'");
    EXPECT_NE(listed.find("\tkeep\t"), std::string::npos) << listed;
    EXPECT_EQ(service_->Stop(SIGINT), 0);
}

TEST_F(ServiceTest, SlowClientsDoNotBlockOthers) {
    // Connections that send half a request and then nothing.
    std::vector<int> slow;
    for (int i = 0; i < 12; ++i) {
        const int fd = svc::Connect(service_->Port());
        ASSERT_GE(fd, 0);
        const std::string part = "GET /getfw.php?funType=3&sear";
        ASSERT_EQ(send(fd, part.data(), part.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(part.size()));
        slow.push_back(fd);
    }
    const Json j = List("/getfw.php?funType=1&searchType=1&pageNum=1&pageSize=6");
    EXPECT_EQ(j["total"].number, 35);
    // The slow connections were still waiting meanwhile: nobody was made to wait for them.
    char c;
    for (int fd : slow) {
        EXPECT_EQ(recv(fd, &c, 1, MSG_DONTWAIT), -1);
        close(fd);
    }
}

TEST_F(ServiceTest, WebVersionServesThePageWithItsOwnAddresses) {
    const HttpResponse page = Fetch("/");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("<title>catalogue</title>"), std::string::npos);
    EXPECT_NE(page.Header("content-type").find("text/html"), std::string::npos);
    EXPECT_EQ(Fetch("/css/css.css").body, "body{color:#6ed7db}");

    const HttpResponse js = Get(service_->Port(), "/js/url.js", {"Host: tavrel.example:8470"});
    EXPECT_EQ(js.status, 200);
    EXPECT_NE(js.Header("content-type").find("javascript"), std::string::npos);
    EXPECT_EQ(js.body,
              "var url={\"cloud\":\"http://tavrel.example:8470/\",\"more\":\"http://"
              "tavrel.example:8470/\",\"S\":\"http://tavrel.example:8470/\"}");
    // A host header that is not a host name does not reach the script.
    const HttpResponse forged = Get(service_->Port(), "/js/url.js", {"Host: x\"};alert(1);//"});
    EXPECT_EQ(forged.body.find("alert"), std::string::npos) << forged.body;
    EXPECT_NE(forged.body.find("http://127.0.0.1:" + std::to_string(service_->Port()) + "/"),
              std::string::npos)
        << forged.body;

    const HttpResponse forum = Fetch("/forum.php?mod=forumdisplay&fid=56");
    EXPECT_EQ(forum.status, 200);
    EXPECT_NE(forum.Header("content-type").find("text/html"), std::string::npos);
    for (const std::string missing : {"/nothing", "/getfw.phpx", "/js/none.js", "/moban/"}) {
        EXPECT_EQ(Fetch(missing).status, missing == "/moban/" ? 400 : 404) << missing;
    }
}

}  // namespace
