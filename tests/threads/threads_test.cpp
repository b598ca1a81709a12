// Many analyses at once: separate CTressel instances, SortOutline and the C
// functions share nothing, so threads that run them on different silhouettes
// at the same time get exactly the results of running them one after
// another. The ThreadSanitizer build runs this too.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "silhouettes.h"
#include "support/exception.h"
#include "tressel/Tressel.h"
#include "tressel/tressel_c.h"

namespace {

using testing_silhouettes::Mask;
using testing_silhouettes::Spans;

struct Job {
  Mask mask;
  Spans spans;
  int loopPercent;
};

// Silhouettes of different sizes and shapes, some with tails and limbs, one
// far from the origin (its analysis fails: failures run concurrently too).
std::vector<Job> jobs() {
  std::vector<Job> result;
  for (int i = 0; i < 12; ++i) {
    Mask m = testing_silhouettes::rodent(30 + 6 * i, i % 4 != 3, 0.05 * (i % 5), i % 5);
    const int offset = i == 6 ? 30000 : 3 * i;
    Spans s = testing_silhouettes::spansOf(m, offset, offset / 2);
    result.push_back(Job{std::move(m), std::move(s), 5 + 3 * i});
  }
  return result;
}

// Everything one job gives, from every entry point.
struct Answer {
  bool failed = false;
  unsigned char record[sizeof(CTressel)] = {};
  std::vector<float> borderX, borderY;
  int cResult = 0;
  tressel_result c{};
  int maskResult = 0;
  tressel_result fromMask{};

  bool operator==(const Answer& o) const {
    return failed == o.failed && std::memcmp(record, o.record, sizeof record) == 0 && borderX == o.borderX &&
           borderY == o.borderY && cResult == o.cResult && std::memcmp(&c, &o.c, sizeof c) == 0 &&
           maskResult == o.maskResult && std::memcmp(&fromMask, &o.fromMask, sizeof fromMask) == 0;
  }
};

// `record` is the caller's instance, reused from job to job: what it holds
// from earlier calls must not matter.
Answer run(const Job& job, CTressel& record) {
  Answer a;
  record.SetLoopLengthMaxPercent(job.loopPercent);
  std::vector<float> x = job.spans.x, y = job.spans.y;
  try {
    record.Tressel(x.data(), y.data(), job.spans.count());
  } catch (const lti::allocException&) {
    a.failed = true;
  }
  if (!a.failed) std::memcpy(a.record, &record, sizeof a.record);

  const int size = tressel_border(x.data(), y.data(), job.spans.count(), nullptr, nullptr, 0);
  if (size >= 0) {
    x.resize(std::max<std::size_t>(x.size(), static_cast<std::size_t>(size)));
    y.resize(x.size());
    x.resize(static_cast<std::size_t>(SortOutline(x.data(), y.data(), job.spans.count())));
    y.resize(x.size());
    a.borderX = x;
    a.borderY = y;
  }
  tressel_params p = tressel_default_params();
  p.loop_length_max_percent = job.loopPercent;
  a.cResult = tressel_analyze(job.spans.x.data(), job.spans.y.data(), job.spans.count(), &p, &a.c);
  a.maskResult = tressel_analyze_mask(job.mask.pixels.data(), job.mask.width, job.mask.height, job.mask.width, 0,
                                      &p, &a.fromMask);
  return a;
}

TEST(Threads, ConcurrentAnalysesMatchSequentialOnes) {
  const std::vector<Job> work = jobs();
  std::vector<Answer> expected;
  for (const Job& job : work) {
    CTressel fresh;
    expected.push_back(run(job, fresh));
  }
  int tails = 0, failures = 0;
  for (const Answer& a : expected) {
    tails += a.record[0];
    failures += a.failed;
  }
  ASSERT_GE(tails, 6) << "the silhouettes exercise the whole analysis";
  ASSERT_EQ(failures, 1);

  constexpr int kThreads = 8;
  std::mutex m;
  std::condition_variable go;
  int waiting = 0;
  std::atomic<int> mismatches{0};
  std::vector<std::string> reports(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      {
        std::unique_lock<std::mutex> lock(m);  // start together
        if (++waiting == kThreads) go.notify_all();
        go.wait(lock, [&] { return waiting == kThreads; });
      }
      CTressel instances[2];
      // Each thread takes the jobs in its own order, three times over.
      for (std::size_t k = 0; k < 3 * work.size(); ++k) {
        const std::size_t j = (k * 5 + static_cast<std::size_t>(t) * 7) % work.size();
        if (!(run(work[j], instances[k % 2]) == expected[j])) {
          ++mismatches;
          reports[t] += " job " + std::to_string(j);
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
  for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(reports[t].empty()) << "thread " << t << ":" << reports[t];
}

}  // namespace
