#include "stats/StatisticManager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "LoopbackHttpServer.h"
#include "app/AppMessages.h"
#include "app/AppPaths.h"
#include "app/Globals.h"
#include "stats/MachineId.h"

using testsupport::HttpReply;

namespace {

TEST(StatisticManager, ReportsCarryEventMachineChannelAndVersion) {
    testsupport::LoopbackHttpServer server;
    server.Serve("/statistic/statics.html", HttpReply::Ok("ok"));
    setenv("TAVREL_SERVICE_HOST", ("127.0.0.1:" + std::to_string(server.Port())).c_str(), 1);
    InitGlobals();
    InitAppPaths();

    CStatisticManager* stats = GetStatisticManager();
    ASSERT_TRUE(stats->IsWindow());
    EXPECT_EQ(stats->SendReport(2), 1);
    EXPECT_EQ(stats->SendMessage(WM_STAT_REPORT, static_cast<WPARAM>(-1), 0), 1) << "sends nothing";
    EXPECT_EQ(stats->SendMessage(WM_STAT_REPORT, 5, 0), 1);
    ASSERT_TRUE(server.WaitForRequests(2));

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::string cid = platform::ToUtf8(GetMachineId());
    EXPECT_TRUE(std::regex_match(cid, std::regex("[0-9a-f]{32}"))) << cid;
    EXPECT_EQ(requests[0].target,
              "/statistic/statics.html?action=2&uid=0&cid=" + cid + "&channel=0&ver=1.0.0.1");
    EXPECT_EQ(requests[1].target,
              "/statistic/statics.html?action=5&uid=0&cid=" + cid + "&channel=0&ver=1.0.0.1");
    EXPECT_EQ(requests[0].Header("User-Agent"), "Mozila/4.0 (compatible; MSIE 5.0; BRISKO)");

    // The identifier was stored by the first report and is read back from now on.
    WCHAR stored[MAX_PATH] = {};
    GetPrivateProfileStringW(u"Local", u"Mid", u"", stored, MAX_PATH, AppPaths.szSettingsFile);
    EXPECT_EQ(platform::ToUtf8(stored), cid);

    // A report that cannot be delivered is lost quietly.
    server.Serve("/statistic/statics.html", HttpReply::Status(500));
    EXPECT_EQ(stats->SendReport(3), 1);
    unsetenv("TAVREL_SERVICE_HOST");
}

}  // namespace
