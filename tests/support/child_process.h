// Programs run as children on Linux, for tests that need more than a run to
// its end: a kill at any moment, a bound on the run time, a limit on the
// size of the files the child may write, and its peak memory.
#ifndef TESTS_SUPPORT_CHILD_PROCESS_H_
#define TESTS_SUPPORT_CHILD_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

struct ChildOptions {
  /// The folder it runs in; empty: the current one.
  std::string directory;
  /// Largest file the child may write (RLIMIT_FSIZE), in bytes; 0: none.
  unsigned long file_size_limit = 0;
  /// Whether to measure the child's peak resident memory.
  bool measure_memory = false;
};

/// A program started without waiting for it, with its arguments passed as
/// they are (no shell), in a process group of its own. Its output is kept
/// in memory files, so it never waits for a reader.
class ChildProcess {
 public:
  ChildProcess(const std::string& program,
               const std::vector<std::string>& arguments,
               const ChildOptions& options = {});
  /// Kills the child if it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  /// Ends the child and everything it started at once (SIGKILL).
  void Kill();
  /// Waits for the child's end, at most seconds. False when it was still
  /// running then; it is killed.
  bool Wait(double seconds);

  /// Whether it ended through exit, and with which status.
  bool exited() const { return exited_; }
  int status() const { return status_; }
  /// The signal that ended it, or 0.
  int signal() const { return signal_; }
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }
  /// Peak resident memory in KiB (measure_memory); 0 when not measured.
  long peak_memory_kib() const { return peak_kib_; }

 private:
  void Collect(int wait_status);

  pid_t pid_ = -1;
  int out_fd_ = -1, err_fd_ = -1, measure_fd_ = -1;
  bool exited_ = false;
  int status_ = -1;
  int signal_ = 0;
  std::string out_, err_;
  long peak_kib_ = 0;
};

#endif  // TESTS_SUPPORT_CHILD_PROCESS_H_
