#include <gtest/gtest.h>
#include "AnswerServer.h"
#include "PageView.h"
using namespace pagetest;
TEST(Smoke, Loads) {
    AnswerServer server(
        [](const std::string&, const std::map<std::string, std::string>&) {
            return MakeAnswer(36, SampleEntries(1, 6));
        },
        std::string(TAVREL_PAGE_STAGE_DIR) + "/images/temp_1.png");
    PageOptions o;
    o.stageDir = TAVREL_PAGE_STAGE_DIR;
    o.serviceBase = server.Base();
    PageView page(o);
    ASSERT_TRUE(page.Load());
    EXPECT_TRUE(page.WaitFor("$('.list li').length == 6"));
    for (auto& r : page.Requests())
        printf("%s %d\n", r.uri.c_str(), r.state);
    printf("%s\n", page.Eval("typeof window.external + ' ' + window.external.calls").c_str());
    page.Snapshot("/tmp/page1.png");
}
