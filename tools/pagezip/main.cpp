// pagezip: builds the page archive from a folder.
//
//   pagezip --from DIR --output FILE.zip [--missing-ok]
//
// The archive is what the program unpacks at start-up, so it keeps to what that
// reader expects and a Windows zip tool would write:
// - entries sorted by path in byte order; a folder entry ("css/") therefore comes
//   right before its own files;
// - folder entries stored with the DOS directory attribute 0x10, file entries
//   deflated with the archive attribute 0x20, made by a DOS host so that the
//   attributes read as DOS attributes;
// - the DOS date and time (local time) of each file's modification time, and no
//   extra fields at all (no extended timestamp, no Unix fields, no zip64);
// - names in plain ASCII with "/" between folders.
// Hidden files and folders (names starting with ".") are left out. Symbolic links
// are followed, since a staging folder may link to files it does not copy.
//
// The build runs it every time, since the page folder may be filled by another
// step of the same build; the output is replaced only when its bytes change, so
// that an unchanged page rebuilds nothing downstream. With --missing-ok a missing
// folder gives an empty archive instead of an error.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <zlib.h>
#include <minizip/zip.h>

namespace fs = std::filesystem;

namespace {

constexpr unsigned kDosDirectory = 0x10;
constexpr unsigned kDosArchive = 0x20;
// Host 0 (MS-DOS and compatible file systems) in the high byte; zip format 2.0.
constexpr unsigned kMadeByDos = 20;
constexpr int kMaxDepth = 32;

struct Entry {
    std::string name;  // "css/" for a folder, "css/css.css" for a file
    fs::path path;
    bool folder = false;
};

[[noreturn]] void Fail(const std::string& message) {
    throw std::runtime_error(message);
}

void Collect(const fs::path& folder, const std::string& prefix, int depth,
             std::vector<Entry>& entries) {
    if (depth > kMaxDepth) {
        Fail(folder.string() + ": folders nested too deep (a link loop?)");
    }
    for (const fs::directory_entry& item : fs::directory_iterator(folder)) {
        const std::string leaf = item.path().filename().string();
        if (leaf.empty() || leaf[0] == '.') {
            continue;
        }
        for (unsigned char c : leaf) {
            if (c < 0x20 || c > 0x7E || c == '\\') {
                Fail(item.path().string() + ": archive names must be plain ASCII");
            }
        }
        if (item.is_directory()) {  // follows links
            entries.push_back({prefix + leaf + "/", item.path(), true});
            Collect(item.path(), prefix + leaf + "/", depth + 1, entries);
        } else if (item.is_regular_file()) {
            entries.push_back({prefix + leaf, item.path(), false});
        }
    }
}

uLong DosDateTime(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        Fail("cannot read the time of " + path.string());
    }
    std::tm t{};
    const std::time_t when = st.st_mtime;
    localtime_r(&when, &t);
    int year = t.tm_year + 1900;
    if (year < 1980) {  // the earliest a DOS date holds
        return (1u << 21) | (1u << 16);
    }
    if (year > 2107) {
        year = 2107;
        t = std::tm{};
        t.tm_mon = 11;
        t.tm_mday = 31;
        t.tm_hour = 23;
        t.tm_min = 59;
        t.tm_sec = 59;
    }
    return (static_cast<uLong>(year - 1980) << 25) | (static_cast<uLong>(t.tm_mon + 1) << 21) |
           (static_cast<uLong>(t.tm_mday) << 16) | (static_cast<uLong>(t.tm_hour) << 11) |
           (static_cast<uLong>(t.tm_min) << 5) | static_cast<uLong>(std::min(t.tm_sec, 59) / 2);
}

class Archive {
public:
    explicit Archive(const std::string& path)
        : zip_(zipOpen64(path.c_str(), APPEND_STATUS_CREATE)) {
        if (!zip_) {
            Fail("cannot create " + path);
        }
    }
    ~Archive() {
        if (zip_) {
            zipClose(zip_, nullptr);
        }
    }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    void Add(const Entry& e) {
        zip_fileinfo info{};
        info.dosDate = DosDateTime(e.path);
        info.external_fa = e.folder ? kDosDirectory : kDosArchive;
        const int method = e.folder ? 0 : Z_DEFLATED;
        const int level = e.folder ? 0 : Z_BEST_COMPRESSION;
        if (zipOpenNewFileInZip4_64(zip_, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                    method, level, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                    nullptr, 0, kMadeByDos, 0, 0) != ZIP_OK) {
            Fail("cannot add " + e.name);
        }
        if (!e.folder) {
            std::ifstream in(e.path, std::ios::binary);
            if (!in) {
                Fail("cannot read " + e.path.string());
            }
            std::vector<char> buffer(1 << 16);
            while (in) {
                in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
                const auto got = static_cast<unsigned>(in.gcount());
                if (got > 0 && zipWriteInFileInZip(zip_, buffer.data(), got) != ZIP_OK) {
                    Fail("cannot write " + e.name);
                }
            }
            if (in.bad()) {
                Fail("cannot read " + e.path.string());
            }
        }
        if (zipCloseFileInZip(zip_) != ZIP_OK) {
            Fail("cannot finish " + e.name);
        }
    }

    void Close() {
        const int result = zipClose(zip_, nullptr);
        zip_ = nullptr;
        if (result != ZIP_OK) {
            Fail("cannot finish the archive");
        }
    }

private:
    zipFile zip_;
};

std::vector<char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int Run(int argc, char** argv) {
    std::string from, output;
    bool missingOk = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--missing-ok") {
            missingOk = true;
        } else if (i + 1 < argc && arg == "--from") {
            from = argv[++i];
        } else if (i + 1 < argc && arg == "--output") {
            output = argv[++i];
        } else {
            Fail("unknown option " + arg);
        }
    }
    if (from.empty() || output.empty()) {
        Fail("usage: pagezip --from DIR --output FILE.zip [--missing-ok]");
    }

    const fs::path root = fs::absolute(from).lexically_normal();
    std::vector<Entry> entries;
    if (fs::is_directory(root)) {
        Collect(root, "", 0, entries);
    } else if (!missingOk) {
        Fail(root.string() + " is not a folder");
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });

    const std::string temp = output + ".tmp";
    {
        Archive archive(temp);
        for (const Entry& e : entries) {
            archive.Add(e);
        }
        archive.Close();
    }
    if (fs::exists(output) && ReadAll(output) == ReadAll(temp)) {
        fs::remove(temp);
    } else {
        fs::rename(temp, output);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "pagezip: " << e.what() << "\n";
        return 1;
    }
}
