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

std::string DamagedMember(std::string zip, const std::string& name)
{
    /* The first occurrence of the name is in its local header, 30 bytes after the header's start. */
    size_t at = zip.find(name);
    if (at == std::string::npos || at < 30)
        return zip;
    const size_t header = at - 30;
    const size_t extra = (unsigned char)zip[header + 28] | ((unsigned char)zip[header + 29] << 8);
    size_t packed = (unsigned char)zip[header + 18] | ((unsigned char)zip[header + 19] << 8);
    const size_t data = at + name.size() + extra;
    if (packed == 0)
        packed = 1;
    for (size_t i = 0; i < packed && data + i < zip.size(); ++i)
        zip[data + i] = (char)(zip[data + i] ^ 0x5A);
    return zip;
}
