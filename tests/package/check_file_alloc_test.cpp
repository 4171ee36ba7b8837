// NewCheckFile when memory runs out: it answers nullptr (the installer then logs the failure and
// ends with exit code 1) instead of throwing past every caller. The program's own non-throwing
// allocation fails on request.
#include "package/fix_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

namespace {
int g_failAt = -1;  // the number of the non-throwing allocation that fails; -1: none

bool Fails() {
  if (g_failAt == 0) {
    g_failAt = -1;
    return true;
  }
  if (g_failAt > 0) --g_failAt;
  return false;
}
}  // namespace

// The ordinary allocations underneath, so that the ordinary deletes release them.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  if (Fails()) return nullptr;
  try {
    return ::operator new(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  if (Fails()) return nullptr;
  try {
    return ::operator new[](n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

namespace {

TEST(CheckFile, AllocationFailureGivesNull) {
  zfix::CHECKSUMRECORD r = {};
  zfix::MakeLabelField("Release 14.5.1FP1|May 21, 2026", r.canLabel);
  r.lpFile = "tessra.dll";
  for (int failAt : {0, 1}) {
    g_failAt = failAt;
    EXPECT_EQ(nullptr, zfix::NewCheckFile(r)) << "allocation " << failAt;
    g_failAt = -1;
  }
  zfix::PCHECKFILE p = zfix::NewCheckFile(r);
  ASSERT_NE(nullptr, p);
  EXPECT_STREQ("tessra.dll", p->lpFile);
  zfix::FreeCheckFile(p);
}

}  // namespace
