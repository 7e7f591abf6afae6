#pragma once
// Our menu template: what a menu resource holds, and its byte form.
//
// Byte form (little-endian; a string is a 16-bit unit count and the units):
//   u32 magic "TMNU" (0x554E4D54), u16 version 1, then a list:
//   u16 item count, per item: u16 flags (MF_*), u32 id, string text, and
//   for MF_POPUP the item's own list.
#include <optional>
#include <string>
#include <vector>

#include "platform/api/types.h"

namespace platform::menu {

struct MenuItemTemplate {
    WORD flags = 0;
    DWORD id = 0;
    std::u16string text;
    std::vector<MenuItemTemplate> items;  // MF_POPUP only
};

std::vector<BYTE> Encode(const std::vector<MenuItemTemplate>& items);
std::optional<std::vector<MenuItemTemplate>> Decode(const BYTE* data, size_t size);

// Menus LoadMenuW finds by name before the program's resources.
void RegisterTemplate(LPCWSTR name, std::vector<BYTE> bytes);

}  // namespace platform::menu
