#pragma once
// Builds small zip archives for tests, with control over each entry's name,
// attributes, time and extra field.
#include <cstdint>
#include <string>
#include <vector>

namespace testenv {

struct ZipEntry {
    std::string name;
    std::string content;  // ignored for folder entries
    std::uint32_t externalAttributes = 0x20;
    std::uint32_t dosDate = 0x5A2B6000;       // 2025-01-11 12:00:00
    std::vector<unsigned char> centralExtra;  // extra field of the central directory
    bool deflate = true;
};

// Writes the archive; returns false when minizip fails.
bool WriteZip(const std::string& path, const std::vector<ZipEntry>& entries);

}  // namespace testenv
