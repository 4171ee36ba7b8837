// The format's checksum: CRC-32 of bytes, continued across pieces, and of a whole stream.
#include "package/checksum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

TEST(Checksum, Crc32OfBytes) {
  struct Case {
    std::string bytes;
    uint32_t crc;
  };
  const Case cases[] = {
      {"", 0}, {"a", 0xE8B7BE43u}, {"123456789", 0xCBF43926u},  // the standard check value
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(c.crc, zfix::Crc32(c.bytes.data(), c.bytes.size()));
    for (size_t cut = 0; cut <= c.bytes.size(); ++cut)
      EXPECT_EQ(c.crc, zfix::Crc32(c.bytes.data() + cut, c.bytes.size() - cut, zfix::Crc32(c.bytes.data(), cut)));
  }
}

TEST(Checksum, StreamCrc32ReadsFromTheStartAndRewinds) {
  std::string big(3 * 256 * 1024 + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 2654435761u >> 13);
  for (const std::string& content : {std::string(), std::string("123456789"), big}) {
    FILE* f = std::tmpfile();
    ASSERT_TRUE(f);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fseek(f, 5, SEEK_SET);
    uint32_t crc = 1;
    EXPECT_TRUE(zfix::StreamCrc32(f, &crc));
    EXPECT_EQ(zfix::Crc32(content.data(), content.size()), crc) << content.size();
    EXPECT_EQ(0, std::ftell(f)) << "the stream is at its start again";
    std::fclose(f);
  }
}

}  // namespace
