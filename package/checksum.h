// The checksum of the format: zlib's CRC-32, of bytes and of a whole file. The checksum table,
// the file entries and the installer's verification all use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace zfix {

// CRC-32 of size bytes, continuing from crc (0 to start); any size.
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

// CRC-32 of a stream's whole content, read from its start; the stream is rewound afterwards.
// False (and *crc untouched) when no read buffer could be had.
bool StreamCrc32(FILE* stream, uint32_t* crc);

}  // namespace zfix
