#include "hostile_run.h"

#include <gtest/gtest.h>

namespace {

// What a run that has nothing to do takes: the program and its runtime.
long BaselineKib() {
  static const long baseline = [] {
    ChildOptions measured;
    measured.measure_memory = true;
    ChildProcess run(DEFPATCH_EXE, {"/nonexistent-folder"}, measured);
    run.Wait(60);
    return run.peak_memory_kib();
  }();
  return baseline;
}

}  // namespace

std::unique_ptr<ChildProcess> RunMeasured(
    const std::vector<std::string>& arguments, const std::string& directory) {
  ChildOptions measured;
  measured.directory = directory;
  measured.measure_memory = true;
  auto run = std::make_unique<ChildProcess>(DEFPATCH_EXE, arguments, measured);
  EXPECT_TRUE(run->Wait(60)) << "the run did not end within a minute";
  return run;
}

void ExpectMemoryInProportion(const ChildProcess& run, size_t input_bytes) {
  // Generous: a few copies of the input are fine, a blow-up is not. Under
  // AddressSanitizer freed memory stays in quarantine for a while.
#if defined(__SANITIZE_ADDRESS__)
  constexpr long kPerInputByte = 12, kMarginKib = 300 * 1024;
#else
  constexpr long kPerInputByte = 8, kMarginKib = 16 * 1024;
#endif
  const long baseline = BaselineKib();
  ASSERT_GT(baseline, 0) << "no measure of memory";
  ASSERT_GT(run.peak_memory_kib(), 0) << "the run was not measured";
  const long bound = baseline + kMarginKib +
                     kPerInputByte * static_cast<long>(input_bytes / 1024);
  EXPECT_LE(run.peak_memory_kib(), bound)
      << "input " << input_bytes / 1024 << " KiB, baseline " << baseline
      << " KiB";
  ::testing::Test::RecordProperty("peak_kib",
                                  static_cast<int>(run.peak_memory_kib()));
}
