#include "tests/support/process_figures.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <future>
#include <thread>

namespace rs485::test {
namespace {

TEST(ProcessFigures, ASecondThreadIsCountedAndNamedUntilItEnds) {
  // A thread made and ended first, so that a helper thread started with
  // the first one (the thread sanitizer's) is already in `before`.
  std::thread([] {}).join();
  const int before = threadCount();
  std::promise<void> named;
  std::promise<void> finish;
  std::thread worker([&] {
    pthread_setname_np(pthread_self(), "figures-probe");
    named.set_value();
    finish.get_future().wait();
  });
  named.get_future().wait();
  EXPECT_EQ(threadCount(), before + 1);
  EXPECT_NE(threadNames().find("figures-probe"), std::string::npos) << threadNames();
  finish.set_value();
  worker.join();
  EXPECT_EQ(threadCount(), before);
  EXPECT_EQ(threadNames().find("figures-probe"), std::string::npos) << threadNames();
}

TEST(ProcessFigures, APipeIsTwoDescriptorsPointingAtIt) {
  const int before = descriptorCount();
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  EXPECT_EQ(descriptorCount(), before + 2);
  const std::string targets = descriptorTargets();
  EXPECT_NE(targets.find(std::to_string(ends[0]) + "->pipe:"), std::string::npos) << targets;
  EXPECT_NE(targets.find(std::to_string(ends[1]) + "->pipe:"), std::string::npos) << targets;
  close(ends[0]);
  close(ends[1]);
  EXPECT_EQ(descriptorCount(), before);
}

TEST(ProcessFigures, TimeSpentOnTheCpuShowsForTheThreadAndTheProcess) {
  EXPECT_GT(residentKiB(), 0);
  const double thread = threadCpuMillis();
  const double process = processCpuMillis();
  // Busy until both have counted 20 ms; the process's sum is kept more
  // coarsely than the thread's, so each is awaited on its own. Five
  // seconds of the thread's time are the safety net.
  volatile unsigned sink = 0;
  while ((threadCpuMillis() < thread + 20 || processCpuMillis() < process + 20) &&
         threadCpuMillis() < thread + 5000)
    sink = sink + 1;
  EXPECT_GE(threadCpuMillis(), thread + 20);
  EXPECT_GE(processCpuMillis(), process + 20);
}

}  // namespace
}  // namespace rs485::test
