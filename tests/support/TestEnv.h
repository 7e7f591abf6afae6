#pragma once
// Private folders for a test process and small file helpers for tests.
#include <string>
#include <vector>

namespace testenv {

// The private root of this test process; HOME, the XDG folders, TMPDIR and
// XDG_RUNTIME_DIR all lie below it.
const std::string& Root();

// A new empty folder below the root.
std::string MakeDir(const std::string& name);

std::vector<unsigned char> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
void WriteText(const std::string& path, const std::string& text);
bool Exists(const std::string& path);

// UTF-16LE bytes of a UTF-8 text, optionally with the FF FE mark.
std::vector<unsigned char> Utf16Bytes(const std::string& utf8, bool bom = true);

}  // namespace testenv
