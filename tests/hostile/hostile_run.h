// Running defpatch on hostile input: bounded in time, measured in memory.
#ifndef TESTS_HOSTILE_HOSTILE_RUN_H_
#define TESTS_HOSTILE_HOSTILE_RUN_H_

#include <stddef.h>

#include <memory>
#include <string>
#include <vector>

#include "child_process.h"

/// Runs defpatch with arguments in directory (empty: the current one) and
/// waits for its end, at most a minute: a run that takes longer counts as
/// hung (a test failure) and is killed.
std::unique_ptr<ChildProcess> RunMeasured(
    const std::vector<std::string>& arguments,
    const std::string& directory = "");

/// Expects that run ended normally and took no more memory than a run
/// that has nothing to do, plus a margin in proportion to its input: no
/// input may make memory grow out of proportion.
void ExpectMemoryInProportion(const ChildProcess& run, size_t input_bytes);

#endif  // TESTS_HOSTILE_HOSTILE_RUN_H_
