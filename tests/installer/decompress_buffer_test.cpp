// DecompressBuffer under Wine: the movable block, the size, and the log line on failure.
#include "installer/decompress_buffer.h"
#include "installer/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "package/implode.h"

static std::vector<std::string> g_log;

// The log of the unpacker, recorded instead of written.
void WriteLog(const char* text, int level) { g_log.push_back(std::to_string(level) + ":" + text); }

namespace {

const char kFailLine[] = "0:Failed to decompress buffer.";

std::vector<uint8_t> Sample(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>("fix payload "[i % 12] + i / 5000);
  return v;
}

std::vector<uint8_t> Resource(const std::vector<uint8_t>& data) {
  return zfix::MakeCompressedResource(data.data(), data.size());
}

void SetStoredSize(std::vector<uint8_t>& res, DWORD size) { memcpy(res.data(), &size, 4); }

TEST(DecompressBuffer, UnpacksIntoAMovableBlockOfTheStoredSize) {
  for (size_t n : {size_t(0), size_t(1), size_t(4096), size_t(100000)}) {
    g_log.clear();
    std::vector<uint8_t> data = Sample(n);
    std::vector<uint8_t> res = Resource(data);
    HGLOBAL h = NULL;
    DWORD size = 12345;
    ASSERT_TRUE(DecompressBuffer(res.data(), static_cast<DWORD>(res.size()), &h, &size)) << n;
    ASSERT_NE(h, (HGLOBAL)NULL);
    EXPECT_EQ(size, n);
    EXPECT_EQ(GlobalSize(h), n);
    if (n) {
      const uint8_t* p = static_cast<const uint8_t*>(GlobalLock(h));
      ASSERT_NE(p, nullptr);
      EXPECT_NE(static_cast<const void*>(p), static_cast<const void*>(h)) << "a movable block's handle is not its address";
      EXPECT_TRUE(std::equal(data.begin(), data.end(), p)) << n;
      GlobalUnlock(h);
    }
    EXPECT_TRUE(g_log.empty());
    GlobalFree(h);
  }
}

TEST(DecompressBuffer, SizeArgumentIsOptional) {
  std::vector<uint8_t> res = Resource(Sample(300));
  HGLOBAL h = NULL;
  ASSERT_TRUE(DecompressBuffer(res.data(), static_cast<DWORD>(res.size()), &h, NULL));
  EXPECT_EQ(GlobalSize(h), 300u);
  GlobalFree(h);
}

TEST(DecompressBuffer, NullResourceAllocatesNothing) {
  g_log.clear();
  HGLOBAL h = reinterpret_cast<HGLOBAL>(1);
  DWORD size = 7;
  EXPECT_FALSE(DecompressBuffer(NULL, 100, &h, &size));
  EXPECT_EQ(h, reinterpret_cast<HGLOBAL>(1));
  EXPECT_EQ(size, 7u);
}

TEST(DecompressBuffer, DamagedStreamsAreReportedAndTheBlockStaysWithTheCaller) {
  std::vector<uint8_t> data = Sample(20000);
  std::vector<uint8_t> good = Resource(data);
  struct Case {
    const char* name;
    std::vector<uint8_t> res;
    size_t validPrefix;  // bytes of data expected at the start of the block
  } cases[] = {
      // Cut short, yet long enough that the stored size stays within what it could give.
      {"truncated stream", std::vector<uint8_t>(good.begin(), good.end() - 8), 0},
      {"bad dictionary bits", good, 0},
      {"decodes to more than the stored size", good, 15000},
      {"shorter than the size field", std::vector<uint8_t>(good.begin(), good.begin() + 3), 0},
      {"decodes to fewer bytes than the stored size", good, 20000},
  };
  cases[1].res[5] = 9;
  SetStoredSize(cases[2].res, 15000);
  SetStoredSize(cases[4].res, 20100);
  for (Case& c : cases) {
    g_log.clear();
    HGLOBAL h = NULL;
    DWORD size = 0;
    EXPECT_FALSE(DecompressBuffer(c.res.data(), static_cast<DWORD>(c.res.size()), &h, &size)) << c.name;
    ASSERT_EQ(g_log.size(), 1u) << c.name;
    EXPECT_EQ(g_log[0], kFailLine) << c.name;
    if (c.res.size() >= 4) {
      ASSERT_NE(h, (HGLOBAL)NULL) << c.name;
      EXPECT_EQ(GlobalSize(h), size) << c.name;
      if (c.validPrefix) {
        const uint8_t* p = static_cast<const uint8_t*>(GlobalLock(h));
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + c.validPrefix, p)) << c.name;
        GlobalUnlock(h);
      }
    }
    if (h) GlobalFree(h);
  }
}

}  // namespace

namespace {

// A stored size beyond what the stream could give is refused before memory is taken for it.
TEST(DecompressBuffer, SizeBeyondWhatTheStreamCanGiveIsRefusedUnallocated) {
  std::vector<uint8_t> res = Resource(Sample(100));
  const DWORD sizes[] = {256u << 20, 100000u, static_cast<DWORD>(res.size() - 4) * 200 + 1000};
  for (DWORD stated : sizes) {
    SetStoredSize(res, stated);
    g_log.clear();
    HGLOBAL h = reinterpret_cast<HGLOBAL>(1);
    DWORD size = 0;
    EXPECT_FALSE(DecompressBuffer(res.data(), static_cast<DWORD>(res.size()), &h, &size)) << stated;
    EXPECT_EQ(h, (HGLOBAL)NULL) << stated;
    EXPECT_EQ(size, stated);
    ASSERT_EQ(g_log.size(), 1u);
    EXPECT_EQ(g_log[0], kFailLine);
  }
}

TEST(DecompressBuffer, SizeThatCannotBeAllocatedIsReported) {
  std::vector<uint8_t> res = Resource(Sample(100));
  SetStoredSize(res, 0xFFFFFFF0u);
  g_log.clear();
  HGLOBAL h = reinterpret_cast<HGLOBAL>(1);
  DWORD size = 0;
  EXPECT_FALSE(DecompressBuffer(res.data(), static_cast<DWORD>(res.size()), &h, &size));
  EXPECT_EQ(h, (HGLOBAL)NULL);
  EXPECT_EQ(size, 0xFFFFFFF0u);
  ASSERT_EQ(g_log.size(), 1u);
  EXPECT_EQ(g_log[0], kFailLine);
}

}  // namespace
