#include "stats/MachineId.h"

#include <glib.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/AppPaths.h"

namespace {

constexpr size_t kPartsSize = 4096;
constexpr size_t kInputLimit = 259;
constexpr size_t kHexSize = 1024;
constexpr size_t kAdapterStatusSize = 600;

}  // namespace

void FormatProcessorText(char* buffer, const int leaf0[4], const int leaf1[4]) {
    // Vendor text: EBX, EDX, ECX.
    char vendor[16] = {};
    std::memcpy(vendor, &leaf0[1], 4);
    std::memcpy(vendor + 4, &leaf0[3], 4);
    std::memcpy(vendor + 8, &leaf0[2], 4);
    std::snprintf(buffer, kPartsSize, "%s:%08x", vendor, static_cast<unsigned>(leaf1[3]));
}

bool GetProcessorText(char* buffer) {
    int leaf0[4] = {};
    int leaf1[4] = {};
    try {
        __cpuid(leaf0, 0);
        __cpuid(leaf1, 1);
    } catch (const platform::InstructionFault&) {
        return false;
    }
    FormatProcessorText(buffer, leaf0, leaf1);
    return true;
}

std::string FormatAdapterAddress(const BYTE address[6]) {
    char text[16] = {};
    std::snprintf(text, sizeof(text), "%02X%02X%02X%02X%02X%02X", address[0], address[1],
                  address[2], address[3], address[4], address[5]);
    return text;
}

std::string GetAdapterAddressText() {
    NCB ncb = {};
    LANA_ENUM lanas = {};
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
    ncb.ncb_length = sizeof(lanas);
    if (Netbios(&ncb) != NRC_GOODRET || lanas.length == 0) {
        return "";
    }
    const UCHAR lana = lanas.lana[0];

    ncb = {};
    ncb.ncb_command = NCBRESET;
    ncb.ncb_lana_num = lana;
    Netbios(&ncb);

    BYTE status[kAdapterStatusSize] = {};
    ncb = {};
    ncb.ncb_command = NCBASTAT;
    ncb.ncb_lana_num = lana;
    std::memcpy(ncb.ncb_callname, "*               ", NCBNAMSZ);
    ncb.ncb_callname[NCBNAMSZ - 1] = 0;
    ncb.ncb_buffer = status;
    ncb.ncb_length = sizeof(status);
    if (Netbios(&ncb) != NRC_GOODRET) {
        return "";
    }
    return FormatAdapterAddress(reinterpret_cast<const ADAPTER_STATUS*>(status)->adapter_address);
}

void Md5Hex(const char* text, char* buffer) {
    std::memset(buffer, 0, kHexSize);
    gchar* digest = g_compute_checksum_for_string(G_CHECKSUM_MD5, text, -1);
    if (digest != nullptr) {
        g_strlcpy(buffer, digest, kHexSize);
        g_free(digest);
    }
}

std::string BuildMachineIdInput(const char* processorPart, const std::string& adapterPart) {
    std::string input = processorPart ? processorPart : "";
    input += adapterPart;
    if (input.size() > kPartsSize - 1) {
        input.resize(kPartsSize - 1);
    }
    if (input.empty()) {
        input = "Mid2Failed";
    }
    if (input.size() > kInputLimit) {
        input.resize(kInputLimit);
    }
    return input;
}

std::u16string MachineIdFromInput(const std::string& input) {
    char hex[kHexSize];
    Md5Hex(input.c_str(), hex);
    std::u16string id;
    for (const char* p = hex; *p; ++p) {
        id += static_cast<char16_t>(std::tolower(static_cast<unsigned char>(*p)));
    }
    return id;
}

std::u16string ComputeMachineId() {
    char processor[kPartsSize] = {};
    GetProcessorText(processor);
    return MachineIdFromInput(BuildMachineIdInput(processor, GetAdapterAddressText()));
}

std::u16string LoadMachineId(LPCWSTR settingsFile) {
    WCHAR stored[MAX_PATH] = {};
    GetPrivateProfileStringW(u"Local", u"Mid", u"", stored, MAX_PATH, settingsFile);
    if (stored[0] != 0) {
        return stored;
    }
    std::u16string id = ComputeMachineId();
    WritePrivateProfileStringW(u"Local", u"Mid", id.c_str(), settingsFile);
    return id;
}

std::u16string GetMachineId() {
    // Process-wide; used on the main thread only.
    static std::u16string kept;
    static bool loaded = false;
    if (!loaded) {
        kept = LoadMachineId(AppPaths.szSettingsFile);
        loaded = true;
    }
    return kept;
}
