#pragma once
// Reading a resource table (format in ResourceFormat.h) from bytes that may come
// from an untrusted file: every offset is checked before it is used.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/api/types.h"
#include "platform/resource/ResourceFormat.h"

namespace platform::resource {

// A resource type or name as callers pass it: an integer in the pointer, a string,
// or a "#123" string that stands for the integer.
struct ResourceId {
    bool isString = false;
    std::uint16_t id = 0;
    std::u16string_view text;

    static ResourceId FromPointer(LPCWSTR p);
    static ResourceId Integer(std::uint16_t id) { return ResourceId{false, id, {}}; }
};

struct TableHeader {
    std::uint32_t count = 0;
    std::uint32_t directorySize = 0;
    std::uint32_t totalSize = 0;
};

struct TableEntry {
    std::uint32_t type = 0;
    std::uint32_t name = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// The header at the start of `bytes`, when it is one of ours and self-consistent.
std::optional<TableHeader> ReadTableHeader(std::span<const std::uint8_t> bytes);

// The directory part of a table: header, entries and name strings.
class TableDirectory {
public:
    // `directory` holds at least header.directorySize bytes from the table's start.
    // Empty when any entry points outside the table.
    static std::optional<TableDirectory> Parse(std::span<const std::uint8_t> directory);

    std::uint32_t Count() const { return header_.count; }
    TableEntry Entry(std::uint32_t index) const;

    // Index of the entry, or ERROR_RESOURCE_TYPE_NOT_FOUND when no entry has the type,
    // ERROR_RESOURCE_NAME_NOT_FOUND when none of that type has the name.
    std::optional<std::uint32_t> Find(const ResourceId& name, const ResourceId& type,
                                      DWORD* error) const;

private:
    bool Matches(std::uint32_t field, const ResourceId& id) const;
    bool ValidField(std::uint32_t field) const;

    std::span<const std::uint8_t> bytes_;
    TableHeader header_;
};

}  // namespace platform::resource
