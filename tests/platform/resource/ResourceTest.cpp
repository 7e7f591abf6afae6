#include "platform/api/win.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestEnv.h"
#include "platform/resource/ResourceTable.h"
#include "TableBuilder.h"

namespace {

using platform::resource::ResourceId;
using platform::resource::TableDirectory;

std::vector<unsigned char> ResourceBytes(HRSRC found) {
    HGLOBAL loaded = LoadResource(nullptr, found);
    const auto* p = static_cast<const unsigned char*>(LockResource(loaded));
    return std::vector<unsigned char>(p, p + SizeofResource(nullptr, found));
}

TEST(Resource, PageArchiveIsTheBuiltArchive) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(108), u"CONFIG");
    ASSERT_NE(found, nullptr);
    ASSERT_NE(LoadResource(nullptr, found), nullptr);
    const auto built = testenv::ReadBytes(TAVREL_BINARY_DIR "/res/page.zip");
    ASSERT_GE(built.size(), 22u);  // at least the end record of an empty archive
    EXPECT_EQ(SizeofResource(nullptr, found), built.size());
    EXPECT_EQ(ResourceBytes(found), built);
    // The program's module handle names the same resources as null.
    HMODULE program = GetModuleHandleW(nullptr);
    EXPECT_EQ(FindResourceW(program, MAKEINTRESOURCEW(108), u"CONFIG"), found);
    EXPECT_EQ(LoadResource(program, found), LoadResource(nullptr, found));
    EXPECT_EQ(SizeofResource(program, found), built.size());
    EXPECT_EQ(FreeResource(LoadResource(nullptr, found)), FALSE);
}

TEST(Resource, StringTypesAndNamesIgnoreCase) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(108), u"CONFIG");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(108), u"config"), found);
    EXPECT_EQ(FindResourceW(nullptr, u"#108", u"Config"), found);

    const auto table = testres::BuildTable({
        {u"PNG", u"Logo", {1, 2, 3}},
        {u"PNG", std::uint16_t{105}, {4}},
        {std::uint16_t{5}, u"MAIN", {}},
    });
    auto dir = TableDirectory::Parse(table);
    ASSERT_TRUE(dir.has_value());
    DWORD error = 0;
    EXPECT_EQ(dir->Find(ResourceId::FromPointer(u"logo"), ResourceId::FromPointer(u"png"), &error),
              0u);
    EXPECT_EQ(dir->Find(ResourceId::FromPointer(u"#105"), ResourceId::FromPointer(u"PNG"), &error),
              1u);
    EXPECT_EQ(
        dir->Find(ResourceId::FromPointer(u"Main"), ResourceId::FromPointer(RT_DIALOG), &error),
        2u);
    // An integer never matches a string that spells it, nor the other way round.
    EXPECT_FALSE(
        dir->Find(ResourceId::FromPointer(u"105"), ResourceId::FromPointer(u"PNG"), &error));
    EXPECT_EQ(error, ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_FALSE(
        dir->Find(ResourceId::FromPointer(u"Logo"), ResourceId::FromPointer(u"PNGX"), &error));
    EXPECT_EQ(error, ERROR_RESOURCE_TYPE_NOT_FOUND);
}

TEST(Resource, NotFoundCasesSetTheirErrors) {
    struct Case {
        HMODULE module;
        LPCWSTR name;
        LPCWSTR type;
        DWORD error;
    } cases[] = {
        {nullptr, MAKEINTRESOURCEW(999), u"CONFIG", ERROR_RESOURCE_NAME_NOT_FOUND},
        {nullptr, u"PAGE", u"CONFIG", ERROR_RESOURCE_NAME_NOT_FOUND},
        {nullptr, MAKEINTRESOURCEW(108), u"NOSUCHTYPE", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {nullptr, MAKEINTRESOURCEW(108), RT_RCDATA, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {nullptr, MAKEINTRESOURCEW(108), u"CONFIGX", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {nullptr, MAKEINTRESOURCEW(108), nullptr, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {reinterpret_cast<HMODULE>(0x5A5A0000), MAKEINTRESOURCEW(108), u"CONFIG",
         ERROR_RESOURCE_DATA_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(FindResourceW(c.module, c.name, c.type), nullptr) << c.error;
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST(Resource, ForeignHandlesAreRefused) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(108), u"CONFIG");
    ASSERT_NE(found, nullptr);
    auto* inside = reinterpret_cast<HRSRC>(reinterpret_cast<char*>(found) + 4);
    int local = 0;
    for (HRSRC bad : {HRSRC{}, inside, reinterpret_cast<HRSRC>(&local)}) {
        EXPECT_EQ(LoadResource(nullptr, bad), nullptr);
        EXPECT_EQ(SizeofResource(nullptr, bad), 0u);
    }
    EXPECT_EQ(LoadResource(reinterpret_cast<HMODULE>(0x5A5A0000), found), nullptr);
}

TEST(Resource, DamagedTablesAreRejected) {
    auto table = testres::BuildTable(
        {{u"PNG", u"Logo", {1, 2, 3}}, {std::uint16_t{10}, std::uint16_t{1}, {9}}});
    ASSERT_TRUE(TableDirectory::Parse(table).has_value());
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    } damages[] = {
        {"bad magic", 0, 0x12345678},
        {"huge count", 8, 0xFFFFFFFF},
        {"directory past the table", 12, 0xFFFFFF00},
        {"string outside the directory", 24, 0x80000000u | 0xFFFF},
        {"string inside the entries", 24, 0x80000000u | 24},
        {"odd string offset", 24, 0x80000000u | 57},
        {"data past the end", 24 + 16 + 8, 0xFFFFFFF0},
        {"size past the end", 24 + 16 + 12, 0xFFFFFFF0},
        {"name zero", 24 + 16 + 4, 0},
    };
    for (const Damage& d : damages) {
        auto damaged = table;
        testres::Put32(damaged, d.at, d.value);
        EXPECT_FALSE(TableDirectory::Parse(damaged).has_value()) << d.what;
    }
    // A string length that runs past the directory.
    auto damaged = table;
    const std::size_t stringAt = 24 + 2 * 16;
    damaged[stringAt] = 0xFF;
    EXPECT_FALSE(TableDirectory::Parse(damaged).has_value());
    // A directory cut short.
    EXPECT_FALSE(TableDirectory::Parse(std::span(table).first(30)).has_value());
}

}  // namespace
