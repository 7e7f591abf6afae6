#include "platform/resource/ExecutableFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::resource {

namespace {

// Caps on what a sound executable of ours needs; anything beyond is damage.
constexpr std::uint64_t kMaxSections = 1u << 16;
constexpr std::uint64_t kMaxNameTable = 16u << 20;
constexpr std::uint64_t kMaxDirectory = 16u << 20;

constexpr std::size_t kElfHeaderSize = 64;
constexpr std::size_t kSectionHeaderSize = 64;
constexpr std::uint32_t kSectionNoBits = 8;
constexpr std::uint16_t kExtendedIndex = 0xFFFF;

class File {
public:
    explicit File(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) {}
    ~File() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    int fd() const { return fd_; }
    std::uint64_t size = 0;

    // Reads exactly `count` bytes at `offset`, within the file's size.
    bool Read(std::uint64_t offset, std::uint64_t count, void* into) const {
        if (offset > size || count > size - offset) {
            return false;
        }
        auto* p = static_cast<std::uint8_t*>(into);
        while (count > 0) {
            const ssize_t n = ::pread(fd_, p, count, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            p += n;
            offset += static_cast<std::uint64_t>(n);
            count -= static_cast<std::uint64_t>(n);
        }
        return true;
    }

private:
    int fd_;
};

DWORD ErrorOfOpen(const std::string& path, int error) {
    switch (error) {
        case ENOENT: {
            // A missing folder on the way is a missing path, not a missing file.
            const auto slash = path.find_last_of('/');
            struct stat st {};
            if (slash != std::string::npos && slash > 0 &&
                (::stat(path.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
                return ERROR_PATH_NOT_FOUND;
            }
            return ERROR_FILE_NOT_FOUND;
        }
        case ENOTDIR:
        case ENAMETOOLONG:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        default:
            return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
}

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(Le16(p)) | static_cast<std::uint32_t>(Le16(p + 2)) << 16;
}
std::uint64_t Le64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Le32(p)) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
}

struct Section {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

Section ParseSection(const std::uint8_t* p) {
    return Section{Le32(p), Le32(p + 4), Le64(p + 24), Le64(p + 32), Le32(p + 40)};
}

// The file range of the resource section, when the file is an ELF file that has one.
bool FindTableSection(const File& file, Section* found) {
    std::uint8_t eh[kElfHeaderSize];
    if (!file.Read(0, sizeof eh, eh) ||
        std::memcmp(eh,
                    "\x7F"
                    "ELF",
                    4) != 0 ||
        eh[4] != 2 /* 64-bit */ || eh[5] != 1 /* little-endian */) {
        return false;
    }
    const std::uint64_t tableOffset = Le64(eh + 0x28);
    const std::uint16_t entrySize = Le16(eh + 0x3A);
    std::uint64_t count = Le16(eh + 0x3C);
    std::uint32_t namesIndex = Le16(eh + 0x3E);
    if (tableOffset == 0 || entrySize != kSectionHeaderSize) {
        return false;
    }
    // Counts that do not fit the header live in the first section header.
    if (count == 0 || namesIndex == kExtendedIndex) {
        std::uint8_t first[kSectionHeaderSize];
        if (!file.Read(tableOffset, sizeof first, first)) {
            return false;
        }
        const Section zero = ParseSection(first);
        if (count == 0) {
            count = zero.size;
        }
        if (namesIndex == kExtendedIndex) {
            namesIndex = zero.link;
        }
    }
    if (count == 0 || count > kMaxSections || namesIndex >= count) {
        return false;
    }
    std::vector<std::uint8_t> headers(count * kSectionHeaderSize);
    if (!file.Read(tableOffset, headers.size(), headers.data())) {
        return false;
    }
    const Section names = ParseSection(&headers[namesIndex * kSectionHeaderSize]);
    if (names.type == kSectionNoBits || names.size == 0 || names.size > kMaxNameTable ||
        names.offset > file.size || names.size > file.size - names.offset) {
        return false;
    }
    std::vector<char> nameTable(names.size);
    if (!file.Read(names.offset, names.size, nameTable.data())) {
        return false;
    }
    const std::string_view wanted(kSectionName, sizeof kSectionName);  // with its zero
    for (std::uint64_t i = 0; i < count; ++i) {
        const Section s = ParseSection(&headers[i * kSectionHeaderSize]);
        if (s.name >= nameTable.size() || s.type == kSectionNoBits) {
            continue;
        }
        const std::string_view candidate(&nameTable[s.name], nameTable.size() - s.name);
        if (candidate.substr(0, wanted.size()) == wanted) {
            *found = s;
            return true;
        }
    }
    return false;
}

}  // namespace

DWORD ReadResourceFromFile(const std::string& path, const ResourceId& name, const ResourceId& type,
                           std::size_t maxSize, std::vector<std::uint8_t>* out) {
    File file(path);
    if (file.fd() < 0) {
        return ErrorOfOpen(path, errno);
    }
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    if (S_ISDIR(st.st_mode)) {
        return ERROR_ACCESS_DENIED;  // as opening a folder as a file is refused
    }
    if (!S_ISREG(st.st_mode)) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    file.size = static_cast<std::uint64_t>(st.st_size);

    Section section;
    if (!FindTableSection(file, &section) || section.offset > file.size ||
        section.size > file.size - section.offset) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    std::uint8_t head[kHeaderSize];
    if (section.size < kHeaderSize || !file.Read(section.offset, sizeof head, head)) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    const auto header = ReadTableHeader(head);
    if (!header || header->totalSize > section.size || header->directorySize > kMaxDirectory) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    std::vector<std::uint8_t> directoryBytes(header->directorySize);
    if (!file.Read(section.offset, directoryBytes.size(), directoryBytes.data())) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    const auto directory = TableDirectory::Parse(directoryBytes);
    if (!directory) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    DWORD error = 0;
    const auto index = directory->Find(name, type, &error);
    if (!index) {
        return error;
    }
    const TableEntry entry = directory->Entry(*index);
    if (entry.size > maxSize) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    out->resize(entry.size);
    if (!file.Read(section.offset + entry.offset, entry.size, out->data())) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    return 0;
}

}  // namespace platform::resource
