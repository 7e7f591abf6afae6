#pragma once
// Builds resource tables by hand, for tests that need tables the resource
// compiler would never write.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/resource/ResourceFormat.h"

namespace testres {

struct BuiltResource {
    std::variant<std::uint16_t, std::u16string> type;
    std::variant<std::uint16_t, std::u16string> name;
    std::vector<std::uint8_t> data;
};

inline void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

inline std::vector<std::uint8_t> BuildTable(const std::vector<BuiltResource>& resources) {
    using namespace platform::resource;
    std::vector<std::uint8_t> b(kHeaderSize + resources.size() * kEntrySize);
    auto field = [&](const std::variant<std::uint16_t, std::u16string>& id) -> std::uint32_t {
        if (const auto* n = std::get_if<std::uint16_t>(&id)) {
            return *n;
        }
        const std::u16string& s = std::get<std::u16string>(id);
        const auto at = static_cast<std::uint32_t>(b.size());
        b.push_back(static_cast<std::uint8_t>(s.size()));
        b.push_back(static_cast<std::uint8_t>(s.size() >> 8));
        for (char16_t c : s) {
            b.push_back(static_cast<std::uint8_t>(c));
            b.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        return kStringFlag | at;
    };
    std::vector<std::uint32_t> fields;
    for (const auto& r : resources) {
        fields.push_back(field(r.type));
        fields.push_back(field(r.name));
    }
    const auto directorySize = static_cast<std::uint32_t>(b.size());
    for (std::size_t i = 0; i < resources.size(); ++i) {
        while (b.size() % kDataAlignment != 0) {
            b.push_back(0);
        }
        const std::size_t at = kHeaderSize + i * kEntrySize;
        Put32(b, at, fields[2 * i]);
        Put32(b, at + 4, fields[2 * i + 1]);
        Put32(b, at + 8, static_cast<std::uint32_t>(b.size()));
        Put32(b, at + 12, static_cast<std::uint32_t>(resources[i].data.size()));
        b.insert(b.end(), resources[i].data.begin(), resources[i].data.end());
    }
    Put32(b, 0, kMagic);
    Put32(b, 4, kFormat);
    Put32(b, 8, static_cast<std::uint32_t>(resources.size()));
    Put32(b, 12, directorySize);
    Put32(b, 16, static_cast<std::uint32_t>(b.size()));
    return b;
}

// A minimal 64-bit ELF file whose only sections are the resource table and the
// section-name table.
inline std::vector<std::uint8_t> BuildElf(const std::vector<std::uint8_t>& table) {
    const std::string names =
        std::string("\0", 1) + platform::resource::kSectionName + '\0' + ".shstrtab" + '\0';
    std::vector<std::uint8_t> f(64, 0);
    const std::uint64_t tableOffset = f.size();
    f.insert(f.end(), table.begin(), table.end());
    const std::uint64_t namesOffset = f.size();
    f.insert(f.end(), names.begin(), names.end());
    while (f.size() % 8 != 0) {
        f.push_back(0);
    }
    const std::uint64_t sectionsOffset = f.size();
    f.resize(f.size() + 3 * 64, 0);
    auto put = [&](std::size_t at, std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
    std::copy(std::begin(ident), std::end(ident), f.begin());
    put(0x10, 2, 2);               // executable
    put(0x12, 62, 2);              // x86-64
    put(0x14, 1, 4);               // version
    put(0x28, sectionsOffset, 8);  // section headers
    put(0x34, 64, 2);              // header size
    put(0x3A, 64, 2);              // section header size
    put(0x3C, 3, 2);               // section count
    put(0x3E, 2, 2);               // names section
    const std::size_t s1 = sectionsOffset + 64;
    put(s1, 1, 4);      // name ".tavrel_rsrc"
    put(s1 + 4, 1, 4);  // PROGBITS
    put(s1 + 8, 2, 8);  // allocated
    put(s1 + 24, tableOffset, 8);
    put(s1 + 32, table.size(), 8);
    const std::size_t s2 = sectionsOffset + 128;
    put(s2, 2 + std::string(platform::resource::kSectionName).size(), 4);
    put(s2 + 4, 3, 4);  // STRTAB
    put(s2 + 24, namesOffset, 8);
    put(s2 + 32, names.size(), 8);
    return f;
}

}  // namespace testres
