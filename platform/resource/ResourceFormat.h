#pragma once
// The resource table that tools/rescomp links into an executable, shared by the
// compiler and the readers (the running program and GetFileVersionInfoW).
//
// The table is the whole content of the ELF section ".tavrel_rsrc" (allocated,
// read-only) and starts at the symbol `tavrel_resource_table`. All numbers are
// little-endian; offsets count from the table's first byte.
//
//   header, 24 bytes:
//     u32 magic          "TVRS" (0x53525654)
//     u32 format         1
//     u32 count          number of entries
//     u32 directorySize  header + entries + name strings; resource bytes lie after it
//     u32 totalSize      the whole table
//     u32 reserved       0
//   entries, count x 16 bytes:
//     u32 type           integer type (0..0xFFFF), or kStringFlag | offset of a string
//     u32 name           integer name (1..0xFFFF), or kStringFlag | offset of a string
//     u32 offset         first byte of the resource
//     u32 size           its byte count
//   strings, each 2-aligned: u16 length, then `length` UTF-16 units (no terminator)
//   resource bytes, each resource aligned to 16
//
// Types and names are stored as written in the resource list; lookups compare strings
// without regard to ASCII case. An executable carries at most one table.
#include <cstdint>

namespace platform::resource {

inline constexpr std::uint32_t kMagic = 0x53525654;  // "TVRS"
inline constexpr std::uint32_t kFormat = 1;
inline constexpr std::uint32_t kHeaderSize = 24;
inline constexpr std::uint32_t kEntrySize = 16;
inline constexpr std::uint32_t kStringFlag = 0x80000000u;
inline constexpr std::uint32_t kDataAlignment = 16;
inline constexpr char kSectionName[] = ".tavrel_rsrc";
inline constexpr char kTableSymbol[] = "tavrel_resource_table";

// The version resource: type RT_VERSION (16), name 1, a VS_VERSIONINFO block.
inline constexpr std::uint32_t kVersionType = 16;
inline constexpr std::uint32_t kVersionName = 1;

}  // namespace platform::resource
