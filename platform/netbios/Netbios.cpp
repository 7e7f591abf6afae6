// Adapter enumeration and status over the machine's network interfaces.
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/api/netbios.h"

namespace {

struct Adapter {
    int index;
    std::array<UCHAR, 6> address;
};

// Interfaces other than loopback with a hardware address, by interface index.
std::vector<Adapter> Adapters() {
    std::vector<Adapter> adapters;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return adapters;
    }
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_PACKET ||
            (it->ifa_flags & IFF_LOOPBACK)) {
            continue;
        }
        const auto* link = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
        if (link->sll_halen != 6) {
            continue;
        }
        Adapter a{link->sll_ifindex, {}};
        std::memcpy(a.address.data(), link->sll_addr, 6);
        bool blank =
            std::all_of(a.address.begin(), a.address.end(), [](UCHAR b) { return b == 0; });
        bool known = std::any_of(adapters.begin(), adapters.end(),
                                 [&](const Adapter& x) { return x.index == a.index; });
        if (!blank && !known) {
            adapters.push_back(a);
        }
    }
    freeifaddrs(list);
    std::sort(adapters.begin(), adapters.end(),
              [](const Adapter& x, const Adapter& y) { return x.index < y.index; });
    return adapters;
}

UCHAR Run(NCB& ncb) {
    const std::vector<Adapter> adapters = Adapters();
    switch (ncb.ncb_command) {
        case NCBENUM: {
            const size_t count = std::min<size_t>(adapters.size(), MAX_LANA + 1);
            if (!ncb.ncb_buffer || ncb.ncb_length < 1 + count) {
                return NRC_BUFLEN;
            }
            ncb.ncb_buffer[0] = static_cast<UCHAR>(count);
            for (size_t i = 0; i < count; ++i) {
                ncb.ncb_buffer[1 + i] = static_cast<UCHAR>(i);
            }
            return NRC_GOODRET;
        }
        case NCBRESET:
            return ncb.ncb_lana_num < adapters.size() ? NRC_GOODRET : NRC_BRIDGE;
        case NCBASTAT: {
            if (ncb.ncb_lana_num >= adapters.size()) {
                return NRC_BRIDGE;
            }
            // Only the local adapter answers; remote names are not looked up.
            if (ncb.ncb_callname[0] != '*') {
                return NRC_ILLCMD;
            }
            if (!ncb.ncb_buffer || ncb.ncb_length < sizeof(ADAPTER_STATUS)) {
                return NRC_BUFLEN;
            }
            ADAPTER_STATUS status{};
            std::memcpy(status.adapter_address, adapters[ncb.ncb_lana_num].address.data(), 6);
            std::memcpy(ncb.ncb_buffer, &status, sizeof status);
            ncb.ncb_length = sizeof status;
            return NRC_GOODRET;
        }
        default:
            return NRC_ILLCMD;
    }
}

}  // namespace

UCHAR Netbios(PNCB pncb) {
    if (!pncb) {
        return NRC_BUFLEN;
    }
    UCHAR code = Run(*pncb);
    pncb->ncb_retcode = code;
    pncb->ncb_cmd_cplt = code;
    return code;
}
