#include "app/ServiceHosts.h"

#include <cstdlib>

#include "platform/api/text.h"

namespace {
std::u16string HostFrom(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    return platform::FromUtf8((value != nullptr && *value != 0) ? value : fallback);
}
}  // namespace

std::u16string GetServiceHost() {
    return HostFrom("TAVREL_SERVICE_HOST", TAVREL_DEFAULT_SERVICE_HOST);
}
std::u16string GetHomeHost() {
    return HostFrom("TAVREL_HOME_HOST", TAVREL_DEFAULT_HOME_HOST);
}
std::u16string GetForumHost() {
    return HostFrom("TAVREL_FORUM_HOST", TAVREL_DEFAULT_FORUM_HOST);
}

std::u16string GetServiceBaseUrl() {
    return u"http://" + GetServiceHost() + u"/";
}
