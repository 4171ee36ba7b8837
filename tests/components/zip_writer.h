/* Zip archives for the tests, written with minizip's zip writer. */
#ifndef ZFIX_TEST_ZIP_WRITER_H
#define ZFIX_TEST_ZIP_WRITER_H

#include <string>
#include <vector>

struct ZipMember {
    std::string name;     /* as stored: '/' between folders, a trailing '/' for a directory */
    std::string content;
};

/* Writes the members, deflated, in order; false when minizip refuses a step. */
bool WriteZip(const std::string& path, const std::vector<ZipMember>& members);

/* The archive's bytes with the stored data of the member lpName spoilt: reading it fails or its
   checksum does not match. */
std::string DamagedMember(std::string zip, const std::string& name);

#endif
