#include "zip_writer.h"

#include "zip.h"

bool WriteZip(const std::string& path, const std::vector<ZipMember>& members)
{
    zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zf)
        return false;
    bool ok = true;
    for (const ZipMember& m : members) {
        zip_fileinfo info = {};
        ok = ok && zipOpenNewFileInZip(zf, m.name.c_str(), &info, NULL, 0, NULL, 0, NULL, Z_DEFLATED,
                                       Z_DEFAULT_COMPRESSION) == ZIP_OK;
        ok = ok && (m.content.empty() ||
                    zipWriteInFileInZip(zf, m.content.data(), (unsigned)m.content.size()) == ZIP_OK);
        ok = ok && zipCloseFileInZip(zf) == ZIP_OK;
    }
    return zipClose(zf, NULL) == ZIP_OK && ok;
}
