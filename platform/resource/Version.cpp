// Version information: the version block is read from the named executable's
// resource table, so any of our executables can be asked, not only this one.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/api/errors.h"
#include "platform/api/text.h"
#include "platform/api/version.h"
#include "platform/resource/ExecutableFile.h"

namespace {

using platform::resource::ResourceId;

// A version block's length is a 16-bit count.
constexpr std::size_t kMaxBlock = 0xFFFF;

// The root of a version block: length, value length, type, the key
// "VS_VERSION_INFO" with its zero, padding to 32 bits, then VS_FIXEDFILEINFO.
constexpr char16_t kRootKey[] = u"VS_VERSION_INFO";
constexpr std::size_t kRootValueOffset = 40;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// Reads the version block of the file; 0 or the error.
DWORD ReadVersionBlock(LPCWSTR path, std::vector<std::uint8_t>* block) {
    if (path == nullptr || *path == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD error = platform::resource::ReadResourceFromFile(
        platform::ToUtf8(platform::View(path)),
        ResourceId::Integer(platform::resource::kVersionName),
        ResourceId::Integer(platform::resource::kVersionType), kMaxBlock, block);
    if (error != 0) {
        return error;
    }
    // The block's own length must lie within the resource, so that readers of
    // the block never look past what was copied.
    if (block->size() < 6 || Le16(block->data()) < 6 || Le16(block->data()) > block->size()) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    return 0;
}

}  // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR path, LPDWORD handle) {
    if (handle) {
        *handle = 0;
    }
    std::vector<std::uint8_t> block;
    if (const DWORD error = ReadVersionBlock(path, &block); error != 0) {
        SetLastError(error);
        return 0;
    }
    return static_cast<DWORD>(block.size());
}

BOOL GetFileVersionInfoW(LPCWSTR path, DWORD, DWORD size, LPVOID data) {
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::uint8_t> block;
    if (const DWORD error = ReadVersionBlock(path, &block); error != 0) {
        SetLastError(error);
        return FALSE;
    }
    if (size < block.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(data, block.data(), block.size());
    return TRUE;
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* value, UINT* length) {
    if (block == nullptr || subBlock == nullptr || value == nullptr || length == nullptr ||
        platform::View(subBlock) != u"\\") {
        return FALSE;
    }
    const auto* p = static_cast<const std::uint8_t*>(block);
    const std::size_t total = Le16(p);
    const std::size_t valueLength = Le16(p + 2);
    if (total < kRootValueOffset + sizeof(VS_FIXEDFILEINFO) ||
        valueLength != sizeof(VS_FIXEDFILEINFO)) {
        return FALSE;
    }
    for (std::size_t i = 0; i < std::size(kRootKey); ++i) {
        if (Le16(p + 6 + i * 2) != kRootKey[i]) {
            return FALSE;
        }
    }
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, p + kRootValueOffset, sizeof info);
    if (info.dwSignature != VS_FFI_SIGNATURE) {
        return FALSE;
    }
    *value = const_cast<std::uint8_t*>(p + kRootValueOffset);
    *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
