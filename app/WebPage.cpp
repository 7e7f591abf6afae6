#include "app/WebPage.h"

#include <minizip/unzip.h>

#include <string_view>
#include <vector>

#include "app/AppPaths.h"
#include "app/ServiceHosts.h"

namespace {

constexpr WORD kConfigResourceId = 108;
constexpr DWORD kChunkSize = 16384;
constexpr LCID kChinesePrc = 2052;
constexpr UINT kCodePage936 = 936;

// FILETIME of Unix seconds.
FILETIME UnixToFileTime(std::int64_t seconds) {
    const std::uint64_t ticks = static_cast<std::uint64_t>(seconds + 11644473600LL) * 10000000ULL;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
}

std::uint32_t ReadLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Applies an extended-timestamp ("UT", 0x5455) extra field, when the entry has
// one: its modification, access and creation times replace the DOS time.
void ApplyExtendedTimestamp(const std::vector<unsigned char>& extra, FILETIME& created,
                            FILETIME& accessed, FILETIME& written) {
    size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const unsigned id = extra[pos] | (extra[pos + 1] << 8);
        const size_t size = extra[pos + 2] | (extra[pos + 3] << 8);
        const size_t body = pos + 4;
        if (body + size > extra.size()) {
            return;
        }
        if (id == 0x5455 && size >= 1) {
            const unsigned flags = extra[body];
            size_t at = body + 1;
            const size_t end = body + size;
            if ((flags & 1) && at + 4 <= end) {
                written = UnixToFileTime(static_cast<std::int32_t>(ReadLe32(&extra[at])));
                at += 4;
            }
            if ((flags & 2) && at + 4 <= end) {
                accessed = UnixToFileTime(static_cast<std::int32_t>(ReadLe32(&extra[at])));
                at += 4;
            }
            if ((flags & 4) && at + 4 <= end) {
                created = UnixToFileTime(static_cast<std::int32_t>(ReadLe32(&extra[at])));
            }
            return;
        }
        pos = body + size;
    }
}

DWORD EntryAttributes(uLong external) {
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (external & 0x10) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if (external & 0x20) {
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
    }
    if (external & 0x2) {
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    }
    if (external & 0x4) {
        attributes |= FILE_ATTRIBUTE_SYSTEM;
    }
    if ((external & 0x1) || !(external & (1u << 23))) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes;
}

// An entry may only write below the current folder: no absolute name, no drive,
// no parent step. Such names are skipped whole, so nothing lands outside.
bool IsSafeEntryName(std::u16string_view name) {
    if (name.empty() || name[0] == u'/' || name[0] == u'\\' ||
        (name.size() > 1 && name[1] == u':')) {
        return false;
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of(u"/\\", start);
        if (end == std::u16string_view::npos) {
            end = name.size();
        }
        if (name.substr(start, end - start) == u"..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// Creates every missing level of a relative folder path below the current folder.
void CreateFolderLevels(std::u16string_view folder) {
    for (size_t i = 0; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == u'/') {
            if (i == 0) {
                continue;
            }
            std::u16string level(folder.substr(0, i));
            if (!PathFileExistsW(level.c_str())) {
                CreateDirectoryW(level.c_str(), nullptr);
            }
        }
    }
}

void ExtractEntry(unzFile zip) {
    unz_file_info64 info;
    char rawName[1024] = {};
    if (unzGetCurrentFileInfo64(zip, &info, rawName, sizeof rawName, nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
        return;
    }
    std::vector<unsigned char> extra(info.size_file_extra);
    if (!extra.empty()) {
        unzGetCurrentFileInfo64(zip, nullptr, nullptr, 0, extra.data(),
                                static_cast<uLong>(extra.size()), nullptr, 0);
    }

    WCHAR wideName[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, rawName, -1, wideName, MAX_PATH - 1);
    std::u16string name(wideName);
    // A backslash separates folders in archive names as a slash does.
    for (auto& c : name) {
        if (c == u'\\') {
            c = u'/';
        }
    }
    if (!IsSafeEntryName(name)) {
        return;
    }

    const DWORD attributes = EntryAttributes(info.external_fa);
    if ((info.external_fa & 0x10) || (info.external_fa & (1u << 30))) {
        CreateFolderLevels(name);
        return;
    }
    const size_t slash = name.rfind(u'/');
    if (slash != std::u16string::npos) {
        CreateFolderLevels(std::u16string_view(name).substr(0, slash));
    }

    if (unzOpenCurrentFile(zip) != UNZ_OK) {
        return;
    }
    HANDLE file =
        CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        unzCloseCurrentFile(zip);
        return;
    }
    std::vector<char> chunk(kChunkSize);
    bool complete = true;
    for (;;) {
        const int read = unzReadCurrentFile(zip, chunk.data(), kChunkSize);
        if (read < 0) {
            complete = false;
            break;
        }
        if (read == 0) {
            break;
        }
        DWORD written = 0;
        if (!WriteFile(file, chunk.data(), static_cast<DWORD>(read), &written, nullptr) ||
            written != static_cast<DWORD>(read)) {
            complete = false;
            break;
        }
    }
    // A damaged entry (bad data or checksum) must not pass for a complete file.
    if (unzCloseCurrentFile(zip) != UNZ_OK) {
        complete = false;
    }
    if (complete) {
        FILETIME created{};
        DosDateTimeToFileTime(HIWORD(info.dosDate), LOWORD(info.dosDate), &created);
        FILETIME accessed = created;
        FILETIME written = created;
        ApplyExtendedTimestamp(extra, created, accessed, written);
        SetFileTime(file, &created, &accessed, &written);
    }
    CloseHandle(file);
    if (!complete) {
        SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(name.c_str());
    }
}

// The path of js/url.js in the page folder; its folder is created when missing.
void PrepareUrlFilePath(WCHAR (&path)[MAX_PATH]) {
    WCHAR folder[MAX_PATH] = {};
    wnsprintfW(folder, MAX_PATH, u"%s/js", AppPaths.szPageFolder);
    if (!PathFileExistsW(folder)) {
        CreateDirectoryW(folder, nullptr);
    }
    wnsprintfW(path, MAX_PATH, u"%s/js/url.js", AppPaths.szPageFolder);
}

// The addresses are inserted as they are: the page reads them as a script.
bool WriteUrlFileAt(LPCWSTR path, const std::u16string& cloud, const std::u16string& more,
                    const std::u16string& s) {
    const std::u16string text =
        u"var url={\"cloud\":\"" + cloud + u"\",\"more\":\"" + more + u"\",\"S\":\"" + s + u"\"}";
    return WriteUnicodeTextFile(text.c_str(), static_cast<int>(text.size()), path);
}

}  // namespace

std::u16string DefaultCloudUrl() {
    return GetServiceBaseUrl();
}
std::u16string DefaultMoreUrl() {
    return u"http://" + GetHomeHost() + u"/";
}
std::u16string DefaultServiceUrl() {
    return GetServiceBaseUrl();
}

bool HasRequiredPageFiles() {
    if (!PathFileExistsW(AppPaths.szPageFolder)) {
        CreateDirectoryW(AppPaths.szPageFolder, nullptr);
        return false;
    }
    static const WCHAR* const kRequired[] = {u"%s/js/jquery-1.4.2.min.js", u"%s/css/css.css",
                                             u"%s/tavrel.html"};
    for (const WCHAR* format : kRequired) {
        WCHAR path[MAX_PATH] = {};
        wnsprintfW(path, MAX_PATH, format, AppPaths.szPageFolder);
        if (!PathFileExistsW(path)) {
            return false;
        }
    }
    return true;
}

bool ExtractConfigResource(HRSRC resource, LPCWSTR target) {
    HGLOBAL loaded = LoadResource(nullptr, resource);
    if (loaded == nullptr) {
        return true;
    }
    const DWORD size = SizeofResource(nullptr, resource);
    const void* bytes = LockResource(loaded);
    DeleteFileW(target);
    HANDLE file = CreateFileW(target, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    WriteFile(file, bytes, size, &written, nullptr);
    FlushFileBuffers(file);
    CloseHandle(file);
    FreeResource(loaded);
    return true;
}

bool UnzipToFolder(LPCWSTR archive, LPCWSTR folder) {
    if (archive == nullptr || folder == nullptr || *archive == 0 || *folder == 0) {
        return false;
    }
    const UINT codePage = GetSystemDefaultLCID() == kChinesePrc ? CP_ACP : kCodePage936;
    char folder8[MAX_PATH * 4] = {};
    if (WideCharToMultiByte(codePage, 0, folder, -1, folder8, sizeof folder8, nullptr, nullptr) ==
            0 ||
        !PathFileExistsA(folder8)) {
        return false;
    }
    SetCurrentDirectoryW(folder);

    char archive8[MAX_PATH * 4] = {};
    WideCharToMultiByte(CP_UTF8, 0, archive, -1, archive8, sizeof archive8, nullptr, nullptr);
    unzFile zip = unzOpen64(archive8);
    if (zip == nullptr) {
        return false;
    }
    unz_global_info64 global;
    if (unzGetGlobalInfo64(zip, &global) == UNZ_OK) {
        int status = unzGoToFirstFile(zip);
        for (ZPOS64_T i = 0; i < global.number_entry && status == UNZ_OK; ++i) {
            ExtractEntry(zip);
            status = unzGoToNextFile(zip);
        }
    }
    unzClose(zip);
    return true;
}

bool WriteUrlFile(const std::u16string& cloud, const std::u16string& more,
                  const std::u16string& s) {
    WCHAR path[MAX_PATH] = {};
    PrepareUrlFilePath(path);
    return WriteUrlFileAt(path, cloud, more, s);
}

void WriteUrlFileIfMissing() {
    WCHAR path[MAX_PATH] = {};
    PrepareUrlFilePath(path);
    if (PathFileExistsW(path)) {
        return;
    }
    WriteUrlFileAt(path, DefaultCloudUrl(), DefaultMoreUrl(), DefaultServiceUrl());
}

void PrepareWebPage() {
    if (HasRequiredPageFiles()) {
        const std::u16string recorded = ReadDecodeResource();
        const std::u16string version = GetProgramVersion();
        if (!recorded.empty() && recorded == version) {
            return;
        }
    }
    DeleteFolderFiles(AppPaths.szPageFolder);

    WCHAR archive[MAX_PATH] = {};
    MakeTempFileName(archive);

    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(kConfigResourceId), u"CONFIG");
    bool extracted = true;
    if (resource != nullptr) {
        extracted = ExtractConfigResource(resource, archive);
    }
    if (extracted && UnzipToFolder(archive, AppPaths.szPageFolder)) {
        WriteDecodeResource(GetProgramVersion());
    }
    WriteUrlFileIfMissing();
}
