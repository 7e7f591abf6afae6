// Length-prefixed strings: four bytes of byte length, the characters, a zero.
#include <cstdlib>
#include <cstring>

#include "platform/api/com.h"
#include "platform/api/text.h"

namespace {
constexpr size_t kPrefix = sizeof(std::uint32_t);

std::uint32_t* PrefixOf(BSTR text) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) - kPrefix);
}
}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    // The byte length must fit the 32-bit prefix.
    if (length > 0x7FFFFFF0u / sizeof(OLECHAR)) {
        return nullptr;
    }
    const size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
    auto* block = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    const auto prefix = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &prefix, kPrefix);
    BSTR result = reinterpret_cast<BSTR>(block + kPrefix);
    if (text != nullptr) {
        std::memcpy(result, text, bytes);
    } else {
        std::memset(result, 0, bytes);
    }
    result[length] = 0;
    return result;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) {
        return nullptr;
    }
    return SysAllocStringLen(text, static_cast<UINT>(platform::StrLen(text)));
}

void SysFreeString(BSTR text) {
    if (text != nullptr) {
        std::free(PrefixOf(text));
    }
}

UINT SysStringByteLen(BSTR text) {
    return text == nullptr ? 0 : *PrefixOf(text);
}

UINT SysStringLen(BSTR text) {
    return SysStringByteLen(text) / sizeof(OLECHAR);
}
