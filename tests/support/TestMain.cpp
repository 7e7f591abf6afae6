// Entry point of every test program: before any test runs, HOME, the XDG
// folders and TMPDIR point into a private folder, so that no test touches the
// machine's own folders (/etc/xdg above all: tests run as root).
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testenv {
namespace {
std::string g_root;

void MakeFolder(const std::string& path) {
    if (g_mkdir_with_parents(path.c_str(), 0700) != 0) {
        throw std::runtime_error("cannot create " + path);
    }
}

void RemoveTree(const std::string& path) {
    gchar* argv[] = {const_cast<gchar*>("rm"), const_cast<gchar*>("-rf"),
                     const_cast<gchar*>(path.c_str()), nullptr};
    g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr);
}
}  // namespace

const std::string& Root() {
    return g_root;
}

std::string MakeDir(const std::string& name) {
    std::string path = g_root + "/" + name;
    MakeFolder(path);
    return path;
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<unsigned char> Utf16Bytes(const std::string& utf8, bool bom) {
    std::vector<unsigned char> out;
    if (bom) {
        out = {0xFF, 0xFE};
    }
    glong n = 0;
    gunichar2* units =
        g_utf8_to_utf16(utf8.c_str(), static_cast<glong>(utf8.size()), nullptr, &n, nullptr);
    for (glong i = 0; i < n; ++i) {
        out.push_back(static_cast<unsigned char>(units[i] & 0xFF));
        out.push_back(static_cast<unsigned char>(units[i] >> 8));
    }
    g_free(units);
    return out;
}

}  // namespace testenv

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/tavrel-test-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    testenv::g_root = tmpl;
    const std::string& r = testenv::g_root;
    const struct {
        const char* var;
        const char* sub;
    } folders[] = {
        {"HOME", "/home"},
        {"XDG_CONFIG_HOME", "/home/.config"},
        {"XDG_DATA_HOME", "/home/.local/share"},
        {"XDG_CACHE_HOME", "/home/.cache"},
        {"XDG_CONFIG_DIRS", "/etc-xdg"},
        {"XDG_DATA_DIRS", "/usr-share"},
        {"TMPDIR", "/tmp"},
        {"XDG_RUNTIME_DIR", "/run"},
    };
    for (const auto& f : folders) {
        testenv::MakeFolder(r + f.sub);
        setenv(f.var, (r + f.sub).c_str(), 1);
    }
    // Every unit test runs on the in-memory display.
    setenv("TAVREL_BACKEND", "headless", 1);

    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    if (getenv("TAVREL_KEEP_TEST_DIR") == nullptr) {
        testenv::RemoveTree(r);
    }
    return rc;
}
