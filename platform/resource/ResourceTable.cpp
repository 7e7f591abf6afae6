#include "platform/resource/ResourceTable.h"

namespace platform::resource {

namespace {

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

char16_t FoldAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? c - (u'a' - u'A') : c;
}

}  // namespace

ResourceId ResourceId::FromPointer(LPCWSTR p) {
    if (IS_INTRESOURCE(p)) {
        return Integer(static_cast<std::uint16_t>(reinterpret_cast<ULONG_PTR>(p)));
    }
    std::u16string_view text(p);
    if (text.size() >= 2 && text.size() <= 6 && text[0] == u'#') {
        std::uint32_t value = 0;
        bool digits = true;
        for (char16_t c : text.substr(1)) {
            if (c < u'0' || c > u'9') {
                digits = false;
                break;
            }
            value = value * 10 + (c - u'0');
        }
        if (digits && value <= 0xFFFF) {
            return Integer(static_cast<std::uint16_t>(value));
        }
    }
    return ResourceId{true, 0, text};
}

std::optional<TableHeader> ReadTableHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize || U32(bytes, 0) != kMagic || U32(bytes, 4) != kFormat) {
        return std::nullopt;
    }
    TableHeader h{U32(bytes, 8), U32(bytes, 12), U32(bytes, 16)};
    const std::uint64_t entriesEnd = kHeaderSize + static_cast<std::uint64_t>(h.count) * kEntrySize;
    if (entriesEnd > h.directorySize || h.directorySize > h.totalSize) {
        return std::nullopt;
    }
    return h;
}

std::optional<TableDirectory> TableDirectory::Parse(std::span<const std::uint8_t> directory) {
    auto header = ReadTableHeader(directory);
    if (!header || directory.size() < header->directorySize) {
        return std::nullopt;
    }
    TableDirectory dir;
    dir.bytes_ = directory.first(header->directorySize);
    dir.header_ = *header;
    for (std::uint32_t i = 0; i < header->count; ++i) {
        const TableEntry e = dir.Entry(i);
        if (!dir.ValidField(e.type) || !dir.ValidField(e.name) ||
            static_cast<std::uint64_t>(e.offset) + e.size > header->totalSize) {
            return std::nullopt;
        }
    }
    return dir;
}

TableEntry TableDirectory::Entry(std::uint32_t index) const {
    const std::size_t at = kHeaderSize + static_cast<std::size_t>(index) * kEntrySize;
    return TableEntry{U32(bytes_, at), U32(bytes_, at + 4), U32(bytes_, at + 8),
                      U32(bytes_, at + 12)};
}

bool TableDirectory::ValidField(std::uint32_t field) const {
    if ((field & kStringFlag) == 0) {
        return field != 0 && field <= 0xFFFF;
    }
    const std::uint64_t at = field & ~kStringFlag;
    const std::uint64_t stringsBegin =
        kHeaderSize + static_cast<std::uint64_t>(header_.count) * kEntrySize;
    if (at < stringsBegin || at % 2 != 0 || at + 2 > bytes_.size()) {
        return false;
    }
    const std::uint64_t length = U16(bytes_, static_cast<std::size_t>(at));
    return length > 0 && at + 2 + length * 2 <= bytes_.size();
}

bool TableDirectory::Matches(std::uint32_t field, const ResourceId& id) const {
    if ((field & kStringFlag) == 0) {
        return !id.isString && field == id.id;
    }
    if (!id.isString) {
        return false;
    }
    const std::size_t at = field & ~kStringFlag;
    const std::size_t length = U16(bytes_, at);
    if (length != id.text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (FoldAscii(U16(bytes_, at + 2 + i * 2)) != FoldAscii(id.text[i])) {
            return false;
        }
    }
    return true;
}

std::optional<std::uint32_t> TableDirectory::Find(const ResourceId& name, const ResourceId& type,
                                                  DWORD* error) const {
    bool typeSeen = false;
    for (std::uint32_t i = 0; i < header_.count; ++i) {
        const TableEntry e = Entry(i);
        if (!Matches(e.type, type)) {
            continue;
        }
        typeSeen = true;
        if (Matches(e.name, name)) {
            return i;
        }
    }
    if (error) {
        *error = typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
    }
    return std::nullopt;
}

}  // namespace platform::resource
