#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/AppPaths.h"
#include "stats/MachineId.h"
#include "support/TestEnv.h"

namespace {

// Registers as the identification instruction leaves them for "GenuineIntel".
int Reg(const char* four) {
    int v = 0;
    std::memcpy(&v, four, 4);
    return v;
}

TEST(MachineIdInput, PartsAndFallbackFormats) {
    const int leaf0[4] = {0x16, Reg("Genu"), Reg("ntel"), Reg("ineI")};
    const int leaf1[4] = {0, 0, 0, static_cast<int>(0xbfebfbffu)};
    char processor[4096] = {};
    FormatProcessorText(processor, leaf0, leaf1);
    EXPECT_STREQ(processor, "GenuineIntel:bfebfbff");

    const BYTE address[6] = {0x00, 0x15, 0x5D, 0x0A, 0x1B, 0x2C};
    EXPECT_EQ(FormatAdapterAddress(address), "00155D0A1B2C");

    struct {
        const char* processor;
        std::string adapter;
        std::string input;
        const char16_t* id;
    } cases[] = {
        {"GenuineIntel:bfebfbff", "00155D0A1B2C", "GenuineIntel:bfebfbff00155D0A1B2C",
         u"fd48decfdf1c819aa5d22471093583c1"},
        {"GenuineIntel:bfebfbff", "", "GenuineIntel:bfebfbff", u"6f7bdc27ae41c162ba8f818bdafad4d2"},
        {"", "", "Mid2Failed", u"be7530a35014ffb57e6deda3ba31832b"},
        {nullptr, "", "Mid2Failed", u"be7530a35014ffb57e6deda3ba31832b"},
    };
    for (const auto& c : cases) {
        const std::string input = BuildMachineIdInput(c.processor, c.adapter);
        EXPECT_EQ(input, c.input);
        EXPECT_EQ(MachineIdFromInput(input), c.id);
    }
    // Input longer than 259 characters is cut there before hashing.
    const std::string longPart(300, 'p');
    EXPECT_EQ(BuildMachineIdInput(longPart.c_str(), "ABC"), std::string(259, 'p'));
}

TEST(MachineIdInput, Md5OfKnownTexts) {
    char hex[1024];
    std::memset(hex, 'x', sizeof hex);
    Md5Hex("", hex);
    EXPECT_STREQ(hex, "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(hex[1023], 0);  // cleared first
    Md5Hex("abc", hex);
    EXPECT_STREQ(hex, "900150983cd24fb0d6963f7d28e17f72");
}

// The first interface other than loopback, by index, with a hardware address, as the
// kernel lists them.
std::string FirstAdapterFromSysfs() {
    int best = -1;
    std::string address;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net")) {
        std::ifstream type(entry.path() / "type"), index(entry.path() / "ifindex"),
            mac(entry.path() / "address");
        int t = 0, i = 0;
        std::string m;
        type >> t;
        index >> i;
        mac >> m;
        if (t == 772 || m.size() != 17 || m == "00:00:00:00:00:00") {  // 772: loopback
            continue;
        }
        if (best < 0 || i < best) {
            best = i;
            address = m;
        }
    }
    std::string text;
    for (char c : address) {
        if (c != ':') {
            text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return text;
}

TEST(MachineIdHardware, AdapterPartIsTheFirstAdapterByIndex) {
    EXPECT_EQ(GetAdapterAddressText(), FirstAdapterFromSysfs());

    // Adapter numbers beyond the enumeration, a short buffer, an unknown command.
    LANA_ENUM lanas = {};
    NCB ncb = {};
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
    ncb.ncb_length = sizeof lanas;
    ASSERT_EQ(Netbios(&ncb), NRC_GOODRET);
    EXPECT_EQ(ncb.ncb_retcode, NRC_GOODRET);
    BYTE status[600] = {};
    ncb = {};
    ncb.ncb_command = NCBASTAT;
    ncb.ncb_lana_num = lanas.length;
    ncb.ncb_callname[0] = '*';
    ncb.ncb_buffer = status;
    ncb.ncb_length = sizeof status;
    EXPECT_EQ(Netbios(&ncb), NRC_BRIDGE);
    if (lanas.length > 0) {
        ncb.ncb_lana_num = lanas.lana[0];
        ncb.ncb_length = 2;
        EXPECT_EQ(Netbios(&ncb), NRC_BUFLEN);
    }
    ncb = {};
    ncb.ncb_command = 0x7F;
    EXPECT_EQ(Netbios(&ncb), NRC_ILLCMD);
}

TEST(MachineIdHardware, ProcessorPartNamesTheVendor) {
    char processor[4096] = {};
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line, vendor;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("vendor_id", 0) == 0) {
            vendor = line.substr(line.find(':') + 2);
            break;
        }
    }
#if defined(__x86_64__) || defined(__i386__)
    ASSERT_TRUE(GetProcessorText(processor));
    const std::string text = processor;
    ASSERT_EQ(text.size(), vendor.size() + 9) << text;
    EXPECT_EQ(text.substr(0, vendor.size() + 1), vendor + ":");
    EXPECT_TRUE(std::all_of(text.end() - 8, text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    })) << text;
#else
    std::strcpy(processor, "unchanged");
    EXPECT_FALSE(GetProcessorText(processor));
    EXPECT_STREQ(processor, "unchanged");
#endif
    // The identifier of this machine is the hash of exactly these parts.
    EXPECT_EQ(ComputeMachineId(),
              MachineIdFromInput(BuildMachineIdInput(processor, GetAdapterAddressText())));
}

class StoredMachineId : public ::testing::Test {
protected:
    void SetUp() override {
        static int n = 0;
        file = testenv::MakeDir("mid" + std::to_string(++n)) + "/App.dat";
        fileW = platform::FromUtf8(file);
    }
    std::u16string Stored() {
        WCHAR value[MAX_PATH] = {};
        GetPrivateProfileStringW(u"Local", u"Mid", u"", value, MAX_PATH, fileW.c_str());
        return value;
    }
    std::string file;
    std::u16string fileW;
};

TEST_F(StoredMachineId, StoredValueIsReturnedUnchanged) {
    // Any text counts, in either file encoding, with names in any case.
    testenv::WriteText(file, "[local]\r\nMID=not-a-hash value\r\n");
    EXPECT_EQ(LoadMachineId(fileW.c_str()), u"not-a-hash value");
    testenv::WriteBytes(file, testenv::Utf16Bytes("[Local]\r\nMid=0123456789abcdef\r\n"));
    EXPECT_EQ(LoadMachineId(fileW.c_str()), u"0123456789abcdef");
    EXPECT_EQ(testenv::ReadBytes(file), testenv::Utf16Bytes("[Local]\r\nMid=0123456789abcdef\r\n"));
}

TEST_F(StoredMachineId, MissingOrEmptyValueIsComputedAndWritten) {
    const std::u16string computed = ComputeMachineId();
    ASSERT_EQ(computed.size(), 32u);

    // No file at all: created, in 8-bit text.
    EXPECT_EQ(LoadMachineId(fileW.c_str()), computed);
    EXPECT_EQ(Stored(), computed);

    // An empty value counts as missing and is written over, keeping the other section.
    testenv::WriteBytes(file, testenv::Utf16Bytes("[BaseSet]\r\nDecodeResource=1.0.0.1\r\n"
                                                  "[Local]\r\nMid=\r\n"));
    EXPECT_EQ(LoadMachineId(fileW.c_str()), computed);
    EXPECT_EQ(Stored(), computed);
    WCHAR version[MAX_PATH] = {};
    GetPrivateProfileStringW(u"BaseSet", u"DecodeResource", u"", version, MAX_PATH, fileW.c_str());
    EXPECT_EQ(std::u16string(version), u"1.0.0.1");
}

TEST_F(StoredMachineId, KeptInMemoryAfterTheFirstUse) {
    platform::CopyToBuffer(AppPaths.szSettingsFile, MAX_PATH, fileW);
    testenv::WriteText(file, "[Local]\r\nMid=first\r\n");
    EXPECT_EQ(GetMachineId(), u"first");
    testenv::WriteText(file, "[Local]\r\nMid=second\r\n");
    EXPECT_EQ(GetMachineId(), u"first");
}

}  // namespace
