#include "child_process.h"

#include <signal.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace {

std::string ReadBack(int fd) {
  std::string text;
  if (fd < 0 || lseek(fd, 0, SEEK_SET) != 0) return text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program,
                           const std::vector<std::string>& arguments,
                           const ChildOptions& options) {
  out_fd_ = memfd_create("child-out", MFD_CLOEXEC);
  err_fd_ = memfd_create("child-err", MFD_CLOEXEC);
  if (options.measure_memory) {
    measure_fd_ = memfd_create("child-peak", MFD_CLOEXEC);
  }
  if (out_fd_ < 0 || err_fd_ < 0 ||
      (options.measure_memory && measure_fd_ < 0)) {
    return;
  }

  // Everything the child needs is made before the fork: after it, only
  // calls that are safe in a copy of a threaded process are made.
  std::vector<char*> argv;
  if (options.measure_memory) argv.push_back(const_cast<char*>(PEAK_RSS_EXE));
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  const struct rlimit limit = {options.file_size_limit,
                               options.file_size_limit};

  pid_ = fork();
  if (pid_ != 0) return;
  setpgid(0, 0);
  dup2(out_fd_, 1);
  dup2(err_fd_, 2);
  if (measure_fd_ >= 0) dup2(measure_fd_, 3);
  if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) {
    _exit(127);
  }
  if (options.file_size_limit > 0) setrlimit(RLIMIT_FSIZE, &limit);
  // The child starts as a program normally does: every signal delivered,
  // each with its default action (SIGXFSZ ends a process).
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  for (int s = 1; s < NSIG; ++s) sigaction(s, &default_action, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execve(argv[0], argv.data(), environ);
  _exit(127);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    Kill();
    Wait(60);
  }
  for (int fd : {out_fd_, err_fd_, measure_fd_}) {
    if (fd >= 0) close(fd);
  }
}

void ChildProcess::Kill() {
  if (pid_ > 0) kill(-pid_, SIGKILL);
}

bool ChildProcess::Wait(double seconds) {
  if (pid_ <= 0) return false;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    int wait_status = 0;
    const pid_t done = waitpid(pid_, &wait_status, WNOHANG);
    if (done == pid_) {
      Collect(wait_status);
      return true;
    }
    if (done < 0) {
      pid_ = -1;
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      Kill();
      waitpid(pid_, &wait_status, 0);
      Collect(wait_status);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void ChildProcess::Collect(int wait_status) {
  // A launcher that measured the program reports the program's own status.
  if (measure_fd_ >= 0 && WIFEXITED(wait_status) &&
      WEXITSTATUS(wait_status) == 0) {
    long peak = 0;
    int status = 0;
    if (sscanf(ReadBack(measure_fd_).c_str(), "%ld %d", &peak, &status) == 2) {
      peak_kib_ = peak;
      wait_status = status;
    }
  }
  exited_ = WIFEXITED(wait_status);
  status_ = exited_ ? WEXITSTATUS(wait_status) : -1;
  signal_ = WIFSIGNALED(wait_status) ? WTERMSIG(wait_status) : 0;
  out_ = ReadBack(out_fd_);
  err_ = ReadBack(err_fd_);
  pid_ = -1;
}
