// The catalogue page in WebKitGTK against the real catalogue service: the requests each user
// action sends, the page bar, the detail panel, the token, failures. Answers the real service
// never gives (hostile texts, malformed answers) come from a small server of the test's own.
#include <gtest/gtest.h>

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "AnswerServer.h"
#include "PageView.h"
#include "ServiceProcess.h"
#include "support/TestEnv.h"

using namespace pagetest;

namespace {

const std::string kStage = TAVREL_PAGE_STAGE_DIR;
const std::string kToken = "1765492800";

// jQuery names the callback itself; the rest of the address is the page's.
std::string Plain(const std::string& uri) {
    static const std::regex callback("jsoncallback=[^&]*");
    return std::regex_replace(uri, callback, "jsoncallback=?");
}

std::vector<std::string> Plain(const std::vector<std::string>& uris) {
    std::vector<std::string> out;
    for (const auto& u : uris) {
        out.push_back(Plain(u));
    }
    return out;
}

std::string Click(const std::string& selector) {
    return "var e = document.querySelector(" + JsString(selector) +
           "); if (!e) throw new Error('no ' + " + JsString(selector) + "); e.click();";
}

// Clicks the element of `selector` whose text is `text`.
std::string ClickText(const std::string& selector, const std::string& text) {
    return "var e = $(" + JsString(selector) +
           ").filter(function () { return $(this).text() === " + JsString(text) +
           "; })[0]; if (!e) throw new Error('no ' + " + JsString(text) + "); e.click();";
}

// The page bar as "label>page", "label#" (disabled), "*" after the marked number.
const char* const kBar =
    "$('.pages a').map(function () { var a = $(this); return a.text() + (a.hasClass('disabled') "
    "? '#' : '>' + a.attr('data-page')) + (a.hasClass('on') ? '*' : ''); }).get().join(' ')";

std::string Quoted(const std::string& s) {
    return JsString(s);
}

class ServicePage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NE(std::string(TAVREL_SERVICE_BIN), "") << "the service is not part of the build";
        service_ = std::make_unique<ServiceProcess>(TAVREL_SERVICE_BIN,
                                                    testenv::MakeDir("service-data"), kStage);
        ASSERT_TRUE(service_->Running());
    }
    static void TearDownTestSuite() { service_.reset(); }

    void Open(TokenMode mode = TokenMode::Value) {
        PageOptions o;
        o.stageDir = kStage;
        o.serviceBase = service_->Base();
        o.token = mode;
        o.tokenValue = kToken;
        page_ = std::make_unique<PageView>(o);
        ASSERT_TRUE(page_->Load());
        ASSERT_TRUE(page_->WaitForCatalogue(1));
        ASSERT_TRUE(page_->WaitFor("$('.list li[data-index]').length > 0"));
    }

    // Runs a user action that sends one request and waits until its list is on show.
    void Act(const std::string& script) {
        Act([&] { ASSERT_EQ(page_->Run(script), "undefined"); }, script);
    }
    void Act(const std::function<void()>& action, const std::string& what) {
        const size_t before = page_->CatalogueRequests().size();
        ASSERT_EQ(page_->Run("$('.list li').attr('data-stale', '1');"), "undefined");
        action();
        ASSERT_TRUE(page_->WaitForCatalogue(before + 1)) << what;
        ASSERT_TRUE(page_->WaitFor("$('.list li').length > 0 && !$('.list li[data-stale]').length"))
            << what;
    }
    // Runs a user action that sends nothing (the final sequence of requests proves it).
    void Quiet(const std::string& script) { ASSERT_EQ(page_->Run(script), "undefined"); }

    std::string Hot(int type, int page) const {
        return service_->Base() + "getfwhot.php?searchType=" + std::to_string(type) +
               "&pageNum=" + std::to_string(page) + "&pageSize=6&date=" + kToken +
               "&jsoncallback=?";
    }
    std::string Sub(int id, int sort, int page) const {
        return service_->Base() + "getfw.php?funType=" + std::to_string(id) +
               "&searchType=" + std::to_string(sort) + "&pageNum=" + std::to_string(page) +
               "&pageSize=6&date=" + kToken + "&jsoncallback=?";
    }
    std::string Search(const std::string& encoded, int sort, int page) const {
        return service_->Base() + "getfw.php?funType=0&searchType=" + std::to_string(sort) +
               "&pageNum=" + std::to_string(page) + "&pageSize=6&keyword=" + encoded +
               "&date=" + kToken + "&jsoncallback=?";
    }

    static std::unique_ptr<ServiceProcess> service_;
    std::unique_ptr<PageView> page_;
};

std::unique_ptr<ServiceProcess> ServicePage::service_;

TEST_F(ServicePage, StartShowsHotPicksOfTheFirstTab) {
    Open();
    EXPECT_EQ(Plain(page_->CatalogueRequests()), std::vector<std::string>{Hot(1, 1)});
    EXPECT_EQ(page_->Eval("$('.list li').length"), "6");
    EXPECT_EQ(page_->Eval("$('.list li').index($('.list li.on'))"), "0");
    EXPECT_EQ(page_->Eval("$('.tabs li.on a').text()"), Quoted("办公范文"));
    EXPECT_EQ(page_->Eval("$('.sub:visible').attr('data-type')"), Quoted("1"));
    EXPECT_EQ(page_->Eval("$('a.cloud').attr('href') + ' ' + $('a.more').attr('href')"),
              Quoted(service_->Base() + " http://127.0.0.1:9/more/"));
    EXPECT_EQ(page_->Eval("$('#keyword').val()"), Quoted(""));
    EXPECT_EQ(page_->Eval("$('#keyword').attr('placeholder') + $('#keyword').attr('maxlength')"),
              Quoted("搜索14"));
    // One token per request.
    EXPECT_EQ(page_->Eval("window.external.calls"), "1");
    // Each item: thumbnail and download link below the picture base, icon, count.
    EXPECT_EQ(page_->Eval("$('.list li').first().find('.thumb img').attr('src').indexOf(url.S + "
                          "'moban/')"),
              "0");
    EXPECT_EQ(page_->Eval("$('.list li').first().find('a.dl').attr('href').indexOf(url.S + "
                          "'moban/')"),
              "0");
    EXPECT_EQ(page_->Eval("/^\\d+$/.test($('.list li').first().find('a.dl').text())"), "true");
    EXPECT_EQ(page_->Eval("$('.list li').first().find('a.dl img').attr('src')"),
              Quoted("images/ico-1.png"));

    // A screenshot for people, once the thumbnails are in.
    const std::string shots = TAVREL_E2E_OUT;
    g_mkdir_with_parents(shots.c_str(), 0755);
    EXPECT_TRUE(
        page_->WaitFor("$('.list img').filter(function () { return !this.complete; "
                       "}).length === 0"));
    EXPECT_TRUE(page_->Snapshot(shots + "/page-list.png"));
}

// Every user action in one session, and the exact sequence of requests it sent.
TEST_F(ServicePage, EachActionSendsItsRequest) {
    Open();
    std::vector<std::string> expected{Hot(1, 1)};

    // Sort tabs before a subcategory list: marking only.
    Quiet(Click(".sort a[data-sort='2']"));
    EXPECT_EQ(page_->Eval("$('.sort a.on').text()"), Quoted("按鲜度"));

    Act(Click(".tabs a[data-type='2']"));
    expected.push_back(Hot(2, 1));
    EXPECT_EQ(page_->Eval("$('.tabs li.on a').text()"), Quoted("报告总结"));
    EXPECT_EQ(page_->Eval("$('.sub:visible').length + ':' + $('.sub:visible').attr('data-type')"),
              Quoted("1:2"));

    Act(Click(".nav .hot"));
    expected.push_back(Hot(2, 1));

    Act(Click(".sub a[data-id='12']"));
    expected.push_back(Sub(12, 1, 1));
    EXPECT_EQ(page_->Eval("$('.sub a.on').attr('data-id') + $('.sort a.on').text()"),
              Quoted("12按热度"));

    Act(Click(".sort a[data-sort='2']"));
    expected.push_back(Sub(12, 2, 1));
    Quiet(Click(".sort a[data-sort='2']"));  // already marked

    // Page links repeat the list's request (its sort included) with their page.
    Act(ClickText(".pages a", "3"));
    expected.push_back(Sub(12, 2, 3));
    Act(ClickText(".pages a", "下一页"));
    expected.push_back(Sub(12, 2, 4));
    Act(ClickText(".pages a", "尾页"));
    expected.push_back(Sub(12, 2, 49));      // 290 matches
    Quiet(ClickText(".pages a", "下一页"));  // disabled on the last page
    Quiet(ClickText(".pages a", "尾页"));
    Act(ClickText(".pages a", "上一页"));
    expected.push_back(Sub(12, 2, 48));
    Act(ClickText(".pages a", "首页"));
    expected.push_back(Sub(12, 2, 1));
    Quiet(ClickText(".pages a", "首页"));  // disabled on the first page
    Quiet(ClickText(".pages a", "上一页"));

    // Search button with an empty field: focus, no request.
    Quiet(Click(".search .go"));
    EXPECT_EQ(page_->Eval("document.activeElement.id"), Quoted("keyword"));
    page_->PressEnter();  // Enter in the empty field: nothing

    page_->Type("信纸");
    ASSERT_TRUE(page_->WaitFor("$('#keyword').val() === '信纸'"));
    Act(Click(".search .go"));
    expected.push_back(Search("%E4%BF%A1%E7%BA%B8", 1, 1));
    Act(Click(".sort a[data-sort='2']"));
    expected.push_back(Search("%E4%BF%A1%E7%BA%B8", 2, 1));

    // Enter searches; the keyword is encoded, so "R&D" is not cut at the "&".
    page_->Run("$('#keyword').val('').focus();");
    page_->Type("R&D x");
    ASSERT_TRUE(page_->WaitFor("$('#keyword').val() === 'R&D x'"));
    Act([this] { page_->PressEnter(); }, "Enter");
    expected.push_back(Search("R%26D%20x", 1, 1));
    EXPECT_EQ(page_->Eval("$('.sort a.on').text()"), Quoted("按热度"));

    // After a hot-picks list the sort tabs send nothing again.
    Act(Click(".tabs a[data-type='1']"));
    expected.push_back(Hot(1, 1));
    Quiet(Click(".sort a[data-sort='2']"));
    Act(Click(".tabs a[data-type='4']"));
    expected.push_back(Hot(4, 1));

    EXPECT_EQ(Plain(page_->CatalogueRequests()), expected);
    EXPECT_EQ(page_->Eval("window.external.calls"), std::to_string(expected.size()));
}

TEST_F(ServicePage, SearchFieldTakesFourteenCharacters) {
    Open();
    page_->Run("$('#keyword').focus();");
    page_->Type("一二三四五六七八九十abcdefg");
    ASSERT_TRUE(page_->WaitFor("$('#keyword').val().length === 14"));
    EXPECT_EQ(page_->Eval("$('#keyword').val()"), Quoted("一二三四五六七八九十abcd"));
}

// The page bar's rules, for totals the real service has and for given totals.
TEST_F(ServicePage, PageBar) {
    Open();
    // 传真 has 20 templates: page 4 of 4.
    Act(Click(".sub a[data-id='4']"));
    Act(ClickText(".pages a", "尾页"));
    EXPECT_EQ(page_->Eval(kBar), Quoted("首页>1 上一页>3 2>2 3>3 4>4* 下一页# 尾页#"));
    EXPECT_EQ(page_->Eval("$('.list li').length"), "2");

    struct Case {
        int page, pages;
        const char* bar;
    } cases[] = {
        {1, 2, "首页# 上一页# 1>1* 2>2 下一页>2 尾页>2"},                      // 10 matches
        {2, 34, "首页>1 上一页>1 1>1 2>2* 3>3 4>4 5>5 6>6 下一页>3 尾页>34"},  // 200 matches
        {4, 5, "首页>1 上一页>3 2>2 3>3 4>4* 5>5 下一页>5 尾页>5"},            // 30 matches
        {4, 4, "首页>1 上一页>3 2>2 3>3 4>4* 下一页# 尾页#"},                  // 20 matches
        {1, 1, "首页# 上一页# 1>1* 下一页# 尾页#"},
        {3, 9, "首页>1 上一页>2 1>1 2>2 3>3* 4>4 5>5 6>6 下一页>4 尾页>9"},
        {7, 9, "首页>1 上一页>6 5>5 6>6 7>7* 8>8 9>9 下一页>8 尾页>9"},
    };
    for (const Case& c : cases) {
        page_->Run("appQelvor.showPages(" + std::to_string(c.page) + ", " +
                   std::to_string(c.pages) + ");");
        EXPECT_EQ(page_->Eval(kBar), Quoted(c.bar)) << c.page << " of " << c.pages;
    }
}

TEST_F(ServicePage, DetailPanelWithArrows) {
    Open();
    // 传真, last page: two entries.
    Act(Click(".sub a[data-id='4']"));
    Act(ClickText(".pages a", "尾页"));
    Quiet(Click(".list li[data-index='1'] .thumb"));
    ASSERT_TRUE(page_->WaitFor("$('.detail:visible h2').length"));
    auto shown = [this] { return page_->Eval("$('.detail h2').text()"); };
    auto entry = [this](int i, const std::string& member) {
        return page_->Eval("appQelvor.list[" + std::to_string(i) + "]." + member);
    };
    EXPECT_EQ(shown(), entry(1, "vaName"));
    EXPECT_EQ(page_->Eval("$('.list li.on').attr('data-index')"), Quoted("1"));
    EXPECT_EQ(page_->Eval("$('.detail h2').css('font-size')"), Quoted("18px"));
    EXPECT_EQ(page_->Eval("$('.detail img.big').attr('src') === url.S + 'moban/' + "
                          "appQelvor.list[1].vaDetailPicPath"),
              "true");
    EXPECT_EQ(page_->Eval("$('.detail .foot a.down').attr('href') === url.S + 'moban/' + "
                          "appQelvor.list[1].vaSrcWpsdlPath"),
              "true");
    EXPECT_EQ(page_->Eval("$('.detail .foot p').prop('innerText')"),
              page_->Eval("'作者：' + appQelvor.list[1].vaAuthor + '    下载：' + "
                          "appQelvor.list[1].nDownloadCount + '次\\n支持格式：WPP, Power Point'"));

    // The next arrow on the last entry does nothing; the previous one moves back, and stops
    // at the first.
    Quiet(Click(".detail .next"));
    EXPECT_EQ(shown(), entry(1, "vaName"));
    Quiet(Click(".detail .prev"));
    ASSERT_TRUE(page_->WaitFor("$('.detail h2').text() === appQelvor.list[0].vaName"));
    EXPECT_EQ(page_->Eval("$('.list li.on').attr('data-index')"), Quoted("0"));
    Quiet(Click(".detail .prev"));
    EXPECT_EQ(page_->Eval("$('.detail:visible').length + ':' + $('.detail h2').text()"),
              page_->Eval("'1:' + appQelvor.list[0].vaName"));
    Quiet(Click(".detail .next"));
    ASSERT_TRUE(page_->WaitFor("$('.detail h2').text() === appQelvor.list[1].vaName"));

    const std::string shots = TAVREL_E2E_OUT;
    g_mkdir_with_parents(shots.c_str(), 0755);
    EXPECT_TRUE(page_->Snapshot(shots + "/page-detail.png"));

    Quiet(Click(".detail .close"));
    EXPECT_EQ(page_->Eval("$('.detail:visible').length"), "0");
    EXPECT_EQ(Plain(page_->CatalogueRequests()),
              (std::vector<std::string>{Hot(1, 1), Sub(4, 1, 1), Sub(4, 1, 4)}));
}

TEST_F(ServicePage, SearchWithoutMatchesShowsTheMessage) {
    Open();
    page_->Run("$('#keyword').focus();");
    page_->Type("qqzzxxnothing");
    ASSERT_TRUE(page_->WaitFor("$('#keyword').val() === 'qqzzxxnothing'"));
    page_->PressEnter();
    ASSERT_TRUE(page_->WaitForCatalogue(2));
    ASSERT_TRUE(page_->WaitFor("$('.list .empty').length"));
    EXPECT_EQ(page_->Eval("$('.list').text()"), Quoted("没有找到相应的模板 :("));
    EXPECT_EQ(
        page_->Eval("$('.list .empty').css('color') + ' ' + $('.list .empty').css('text-align')"),
        Quoted("rgb(224, 47, 47) center"));
    EXPECT_EQ(page_->Eval("$('.pages a').length"), "0");
}

struct TokenCase {
    TokenMode mode;
    const char* date;
};

class TokenTest : public ServicePage, public ::testing::WithParamInterface<TokenCase> {};

TEST_P(TokenTest, DateIsTheProgramsAnswerOrEmpty) {
    Open(GetParam().mode);
    const auto sent = page_->CatalogueRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].find(std::string("&date=") + GetParam().date + "&jsoncallback="),
              std::string::npos)
        << sent[0];
    EXPECT_EQ(page_->Eval("$('.list li').length"), "6");
}

INSTANTIATE_TEST_SUITE_P(Modes, TokenTest,
                         ::testing::Values(TokenCase{TokenMode::Value, "1765492800"},
                                           TokenCase{TokenMode::Throws, ""},
                                           TokenCase{TokenMode::Absent, ""}));

// A request that fails at the network level leaves the list on show.
TEST(ServiceGone, FailedRequestLeavesTheList) {
    ASSERT_NE(std::string(TAVREL_SERVICE_BIN), "");
    ServiceProcess service(TAVREL_SERVICE_BIN, testenv::MakeDir("gone-data"), kStage);
    ASSERT_TRUE(service.Running());
    PageOptions o;
    o.stageDir = kStage;
    o.serviceBase = service.Base();
    PageView page(o);
    ASSERT_TRUE(page.Load());
    ASSERT_TRUE(page.WaitFor("$('.list li[data-index]').length === 6"));
    const std::string before = page.Eval("$('.list').html() + $('.pages').html()");
    service.Stop();
    page.Run(Click(".tabs a[data-type='3']"));
    ASSERT_TRUE(page.WaitForCatalogue(2));
    Request::State last = Request::Pending;
    for (const Request& r : page.Requests()) {
        if (r.uri.find("getfwhot.php?searchType=3") != std::string::npos) {
            last = r.state;
        }
    }
    EXPECT_EQ(last, Request::Failed);
    page.Eval("0");
    EXPECT_EQ(page.Eval("$('.list').html() + $('.pages').html()"), before);
    // The page bar still repeats the shown list.
    EXPECT_EQ(page.Eval("$('.pages a.on').text()"), Quoted("1"));
}

// Answers the real service never gives.
class CraftedAnswers : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = std::make_unique<AnswerServer>(
            [](const std::string&, const std::map<std::string, std::string>&) {
                return MakeAnswer(36, SampleEntries(1, 6));
            },
            kStage + "/images/temp_1.png");
        PageOptions o;
        o.stageDir = kStage;
        o.serviceBase = server_->Base();
        page_ = std::make_unique<PageView>(o);
        ASSERT_TRUE(page_->Load());
        ASSERT_TRUE(page_->WaitFor("$('.list li[data-index]').length === 6"));
    }

    // Answers the next request with `answer` and clicks a tab.
    void Next(const std::string& answer) {
        server_->SetAnswer([answer](const std::string&, const std::map<std::string, std::string>&) {
            return answer;
        });
        const size_t before = page_->CatalogueRequests().size();
        page_->Run(Click(".tabs a[data-type='2']"));
        ASSERT_TRUE(page_->WaitForCatalogue(before + 1));
    }

    std::unique_ptr<AnswerServer> server_;
    std::unique_ptr<PageView> page_;
};

TEST_F(CraftedAnswers, ServiceTextsAreShownAsText) {
    const std::string name = "<img src=x onerror=\"window.pwned=1\">";
    const std::string author = "<b>A</b>&amp;";
    const std::string path = "x.png\" onerror=\"window.pwned=2";
    Entry e{name, author, "\"<i>7</i>\"", path, path, "f.wpt\" onclick=\"window.pwned=3"};
    Next(MakeAnswer(1, {e}));
    ASSERT_TRUE(page_->WaitFor("$('.list li[data-index]').length === 1"));
    EXPECT_EQ(page_->Eval("$('.list .name').text()"), Quoted(name));
    EXPECT_EQ(page_->Eval("$('.list .dl').text()"), Quoted("<i>7</i>"));
    EXPECT_EQ(page_->Eval("$('.list img').length + $('.list i, .list b').length"),
              "2");  // the thumbnail and the download icon, nothing else
    EXPECT_EQ(
        page_->Eval("$('.list .thumb img').attr('src') === url.S + 'moban/' + " + Quoted(path)),
        "true");
    EXPECT_EQ(page_->Eval("$('.list .dl')[0].attributes.length"), "3");  // class, href, title

    page_->Run(Click(".list li .thumb"));
    ASSERT_TRUE(page_->WaitFor("$('.detail h2').length"));
    EXPECT_EQ(page_->Eval("$('.detail h2').text()"), Quoted(name));
    EXPECT_EQ(page_->Eval("$('.detail .meta').text()"),
              Quoted("作者：" + author + "    下载：<i>7</i>次"));
    EXPECT_EQ(page_->Eval("$('.detail b, .detail i').length"), "0");
    EXPECT_EQ(page_->Eval("typeof window.pwned"), Quoted("undefined"));
}

TEST_F(CraftedAnswers, MalformedAnswersChangeNothing) {
    const std::string before = page_->Eval("$('.list').html() + $('.pages').html()");
    for (const std::string& answer :
         {std::string("raw:this is not a script ("), std::string("[]"), std::string("\"text\""),
          std::string("{\"total\":6}"), std::string("{\"total\":6,\"Results\":\"x\"}"),
          std::string("{\"total\":\"many\",\"Results\":[{\"vaName\":\"a\"}]}")}) {
        Next(answer);
        page_->Eval("0");
        EXPECT_EQ(page_->Eval("$('.list').html() + $('.pages').html()"), before) << answer;
    }
    // An answer after those is shown as usual.
    Next(MakeAnswer(8, SampleEntries(20, 6)));
    ASSERT_TRUE(page_->WaitFor("$('.list .name').first().text().indexOf(' 20') > 0"));
    EXPECT_EQ(page_->Eval(kBar), Quoted("首页# 上一页# 1>1* 2>2 下一页>2 尾页>2"));
}

TEST_F(CraftedAnswers, EmptyAnswerShowsTheMessage) {
    Next(MakeAnswer(0, {}));
    ASSERT_TRUE(page_->WaitFor("$('.list .empty').length"));
    EXPECT_EQ(page_->Eval("$('.list').text()"), Quoted("没有找到相应的模板 :("));
    EXPECT_EQ(page_->Eval("$('.list li[data-index]').length + $('.pages a').length"), "0");
}

TEST_F(CraftedAnswers, OnlyTheNewestRequestIsShown) {
    // Hot picks of the second tab answer late; the third tab's answer, asked for later,
    // stays on show when the late one arrives.
    server_->SetAnswer([](const std::string&, const std::map<std::string, std::string>& q) {
        const bool late = q.at("searchType") == "2";
        if (late) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        }
        return MakeAnswer(6, SampleEntries(late ? 200 : 300, 6));
    });
    page_->Run(Click(".tabs a[data-type='2']"));
    page_->Run(Click(".tabs a[data-type='3']"));
    ASSERT_TRUE(page_->WaitForCatalogue(3));
    ASSERT_TRUE(page_->WaitFor("$('.list .name').first().text().indexOf(' 300') > 0"));
    // The late answer has run once jQuery has taken its script element away again.
    ASSERT_TRUE(page_->WaitForCatalogue(2));
    ASSERT_TRUE(page_->WaitFor("$('script[src*=\"searchType=2&\"]').length === 0"));
    EXPECT_NE(page_->Eval("$('.list .name').first().text()").find(" 300"), std::string::npos);
}

// The staged page holds exactly the archive's entries, with jQuery 3 under the page's name.
TEST(Stage, HoldsTheArchiveEntries) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(kStage)) {
        std::string rel = e.path().string().substr(kStage.size() + 1);
        found.push_back(e.is_directory() ? rel + "/" : rel);
    }
    std::sort(found.begin(), found.end());
    const std::vector<std::string> expected{"css/",
                                            "css/css.css",
                                            "images/",
                                            "images/bg-1.png",
                                            "images/bg-2.png",
                                            "images/bg-3.png",
                                            "images/bg-6.png",
                                            "images/bg-7.png",
                                            "images/ico-1.png",
                                            "images/ico-2.png",
                                            "images/ico-3.png",
                                            "images/ico-4.png",
                                            "images/loading.gif",
                                            "images/logo.png",
                                            "images/temp_1.png",
                                            "images/temp_2.png",
                                            "js/",
                                            "js/Qelvor.js",
                                            "js/Qelvor.min.js",
                                            "js/jquery-1.4.2.min.js",
                                            "js/png.js",
                                            "tavrel.html"};
    EXPECT_EQ(found, expected);

    const auto jquery = testenv::ReadBytes(kStage + "/js/jquery-1.4.2.min.js");
    const std::string head(jquery.begin(), jquery.begin() + std::min<size_t>(200, jquery.size()));
    EXPECT_NE(head.find("jQuery v3."), std::string::npos) << head;
    const auto min = testenv::ReadBytes(kStage + "/js/Qelvor.min.js");
    const auto full = testenv::ReadBytes(kStage + "/js/Qelvor.js");
    EXPECT_LT(min.size(), full.size() * 3 / 4);
    EXPECT_NE(std::string(min.begin(), min.end()).find("appQelvor"), std::string::npos);
}

}  // namespace
