#pragma once
// Reading one resource from the table of an executable named by path. The file
// may be anything (truncated, damaged, hostile): every read is bounded by the
// file's size and by caps on the sizes involved.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/api/types.h"
#include "platform/resource/ResourceTable.h"

namespace platform::resource {

// Reads the bytes of the resource into *out. Answers 0, or the error: the
// file's own (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED ...),
// ERROR_RESOURCE_DATA_NOT_FOUND for a file that is not a 64-bit little-endian ELF
// file with a sound resource table, ERROR_RESOURCE_TYPE_NOT_FOUND or
// ERROR_RESOURCE_NAME_NOT_FOUND, or ERROR_NOT_ENOUGH_MEMORY for a resource larger
// than maxSize.
DWORD ReadResourceFromFile(const std::string& path, const ResourceId& name, const ResourceId& type,
                           std::size_t maxSize, std::vector<std::uint8_t>* out);

}  // namespace platform::resource
