#include "app/Globals.h"

#include "app/ServiceHosts.h"
#include "platform/api/text.h"

const WCHAR* g_appName = u"AppTavrel";
WCHAR g_statUrlFormat[MAX_PATH] = {};
int g_nCmdShow = 1;

void InitGlobals() {
    std::u16string format = u"http://" + GetServiceHost() +
                            u"/statistic/statics.html?action=%d&uid=%d&cid=%s&channel=%s&ver=%s";
    platform::CopyToBuffer(g_statUrlFormat, MAX_PATH, format);
    g_appName = u"AppTavrel";
}
