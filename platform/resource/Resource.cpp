// The running program's own resources: the table that tools/rescomp placed in the
// image, found through its symbol. Handles point into the image; nothing is copied.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/api/errors.h"
#include "platform/api/kernel.h"
#include "platform/api/resource.h"
#include "platform/resource/ResourceTable.h"

// Weak: a program linked without tavrel_resources simply has no resources.
extern "C" __attribute__((weak)) const std::uint8_t tavrel_resource_table[];

namespace {

using platform::resource::kEntrySize;
using platform::resource::kHeaderSize;
using platform::resource::ResourceId;
using platform::resource::TableDirectory;

struct ProgramTable {
    const std::uint8_t* base = nullptr;
    std::optional<TableDirectory> directory;
};

const ProgramTable& Table() {
    static const ProgramTable table = [] {
        ProgramTable t;
        const std::uint8_t* base = tavrel_resource_table;
        if (base == nullptr) {
            return t;
        }
        auto header = platform::resource::ReadTableHeader(std::span(base, kHeaderSize));
        if (!header) {
            return t;
        }
        t.directory = TableDirectory::Parse(std::span(base, header->directorySize));
        if (t.directory) {
            t.base = base;
        }
        return t;
    }();
    return table;
}

bool IsProgramModule(HMODULE module) {
    return module == nullptr || module == GetModuleHandleW(nullptr);
}

// The entry index behind a handle from FindResourceW, when it is one.
std::optional<std::uint32_t> EntryIndex(HRSRC resource) {
    const ProgramTable& t = Table();
    if (!t.directory || resource == nullptr) {
        return std::nullopt;
    }
    const auto at = reinterpret_cast<std::uintptr_t>(resource);
    const auto first = reinterpret_cast<std::uintptr_t>(t.base + kHeaderSize);
    if (at < first || (at - first) % kEntrySize != 0 ||
        (at - first) / kEntrySize >= t.directory->Count()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>((at - first) / kEntrySize);
}

}  // namespace

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    const ProgramTable& t = Table();
    if (!IsProgramModule(module) || !t.directory) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    if (type == nullptr || name == nullptr) {
        SetLastError(type == nullptr ? ERROR_RESOURCE_TYPE_NOT_FOUND
                                     : ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    DWORD error = 0;
    const auto index =
        t.directory->Find(ResourceId::FromPointer(name), ResourceId::FromPointer(type), &error);
    if (!index) {
        SetLastError(error);
        return nullptr;
    }
    // The handle is the entry's address in the table.
    return reinterpret_cast<HRSRC>(
        const_cast<std::uint8_t*>(t.base + kHeaderSize + *index * kEntrySize));
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    const auto index = IsProgramModule(module) ? EntryIndex(resource) : std::nullopt;
    if (!index) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const ProgramTable& t = Table();
    return const_cast<std::uint8_t*>(t.base + t.directory->Entry(*index).offset);
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    const auto index = IsProgramModule(module) ? EntryIndex(resource) : std::nullopt;
    if (!index) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return Table().directory->Entry(*index).size;
}

LPVOID LockResource(HGLOBAL data) {
    return data;
}

BOOL FreeResource(HGLOBAL) {
    return FALSE;
}
