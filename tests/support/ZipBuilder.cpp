#include "ZipBuilder.h"

#include <minizip/zip.h>

namespace testenv {

bool WriteZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        return false;
    }
    bool ok = true;
    for (const ZipEntry& e : entries) {
        zip_fileinfo info{};
        info.dosDate = e.dosDate;
        info.external_fa = e.externalAttributes;
        const bool folder = !e.name.empty() && e.name.back() == '/';
        const int method = (folder || !e.deflate) ? 0 : Z_DEFLATED;
        const void* extra = e.centralExtra.empty() ? nullptr : e.centralExtra.data();
        if (zipOpenNewFileInZip64(zip, e.name.c_str(), &info, nullptr, 0, extra,
                                  static_cast<uInt>(e.centralExtra.size()), nullptr, method,
                                  Z_DEFAULT_COMPRESSION, 0) != ZIP_OK) {
            ok = false;
            break;
        }
        if (!folder && !e.content.empty()) {
            ok = zipWriteInFileInZip(zip, e.content.data(),
                                     static_cast<unsigned>(e.content.size())) == ZIP_OK;
        }
        zipCloseFileInZip(zip);
        if (!ok) {
            break;
        }
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

}  // namespace testenv
