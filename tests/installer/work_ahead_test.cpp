// Work done ahead of a loop: the loop takes each job's result in its order, does the jobs no
// thread has begun itself, and no thread runs further ahead than the limit.
#include "installer/work_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(WorkAhead, TheLoopTakesEveryJobInItsOrderWithinTheLimit) {
  const DWORD kJobs = 200;
  std::vector<DWORD> entries;
  for (DWORD n = 1; n <= kJobs; ++n) entries.push_back(n * 2);  // even entries only
  std::vector<std::atomic<int>> runs(kJobs);
  std::vector<int> took(kJobs, 0);
  std::atomic<size_t> taken(0);
  WorkAhead ahead;
  ASSERT_TRUE(ahead.Start(entries, [&](size_t i) {
    // The loop has come to `taken` jobs; none starts more than the limit beyond them.
    EXPECT_LT(i, taken.load() + WorkAhead::kMaxAhead + 1);
    runs[i]++;
  }, 3));
  for (DWORD n = 1; n <= 2 * kJobs + 1; ++n) {
    int i = ahead.Take(n);
    if (n % 2) {
      EXPECT_EQ(-1, i) << n;  // no job for an odd entry
      continue;
    }
    if (i >= 0) {
      EXPECT_EQ((int)(n / 2 - 1), i);
      EXPECT_EQ(1, runs[(size_t)i].load());  // done before it is taken
      took[(size_t)i] = 1;
    }
    taken = n / 2;
  }
  ahead.Stop();
  // A job is either taken from a thread or left to the loop, and then no thread runs it.
  for (size_t i = 0; i < kJobs; ++i) EXPECT_EQ(took[i], runs[i].load()) << i;
}

TEST(WorkAhead, JobsPassedOverOrThrowingAreLeftToTheLoop) {
  std::vector<DWORD> entries;
  for (DWORD n = 1; n <= 100; ++n) entries.push_back(n);
  std::vector<std::atomic<int>> runs(100);
  WorkAhead ahead;
  ASSERT_TRUE(ahead.Start(entries, [&](size_t i) {
    runs[i]++;
    if (i == 40) throw std::runtime_error("no memory");
  }));
  EXPECT_EQ(-1, ahead.Take(41));  // the job threw
  // Entries 42 to 59 are passed over; entry 60's job is taken if the thread began it. No job
  // runs twice, and none beyond the limit of the loop's position.
  const int i60 = ahead.Take(60);
  EXPECT_TRUE(i60 == 59 || i60 == -1) << i60;
  if (i60 == 59) {
    EXPECT_EQ(1, runs[59].load());
  }
  ahead.Stop();
  for (size_t i = 0; i < 100; ++i) EXPECT_LE(runs[i].load(), 1) << i;
  for (size_t i = 60 + WorkAhead::kMaxAhead; i < 100; ++i) EXPECT_EQ(0, runs[i].load()) << i;
}

TEST(AnswersAhead, AnswersFollowTheListAndAskAgainOffIt) {
  std::vector<std::string> paths = {"a", "b", "c", "d", "e"};
  std::atomic<int> asked(0);
  AnswersAhead<int> answers([&](const std::string& path) {
    asked++;
    return (int)path[0];
  });
  answers.Start(paths, 2);
  EXPECT_EQ('a', answers.Get("a"));
  EXPECT_EQ('d', answers.Get("d"));    // b and c passed over
  EXPECT_EQ('b', answers.Get("b"));    // behind the list's position: asked again
  EXPECT_EQ('z', answers.Get("z"));    // not in the list
  EXPECT_EQ('e', answers.Get("e"));
}

}  // namespace
