// Runs a program and collects what it wrote, on Linux and on Windows.
#ifndef TESTS_SUPPORT_RUN_PROGRAM_H_
#define TESTS_SUPPORT_RUN_PROGRAM_H_

#include <stdint.h>

#include <string>
#include <vector>

struct ProgramResult {
  int status = -1;  ///< exit status; -1 when it could not be run
  std::string out;  ///< standard output
  std::string err;  ///< standard error
};

/// Runs program with arguments (each passed exactly, empty ones included)
/// in directory (empty: the current one) and waits for it. Under Wine a
/// program named by a Unix path is found on drive Z:, which maps "/".
ProgramResult RunProgram(const std::string& program,
                         const std::vector<std::string>& arguments,
                         const std::string& directory = "");

/// A program started without waiting for it, its output not collected. It
/// is killed, if it still runs, when the guard ends.
class StartedProgram {
 public:
  StartedProgram(const std::string& program,
                 const std::vector<std::string>& arguments);
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  bool started() const { return process_ != 0; }
  /// Ends the program at once, as a crash would, and waits for its end.
  void Kill();

 private:
  intptr_t process_ = 0;  // the process's handle, or its id on Linux
};

/// Sets (or, with a null value, removes) a variable of the environment that
/// programs started afterwards receive.
void SetEnvironment(const std::string& name, const char* value);

#endif  // TESTS_SUPPORT_RUN_PROGRAM_H_
