#include "run_program.h"

#ifdef _WIN32

#include <windows.h>

#include <thread>

namespace {

// Quotes one argument so that the runtime's command-line parser gives it
// back unchanged.
std::string Quote(const std::string& argument) {
  if (!argument.empty() &&
      argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"')
      quoted.append(backslashes * 2 + 1, '\\');
    else
      quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::string Drain(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  DWORD n;
  while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    text.append(buffer, n);
  }
  return text;
}

// The command line that starts program with arguments. The build names its
// programs by Unix paths; Wine's drive Z: is "/".
std::string CommandLine(const std::string& program,
                        const std::vector<std::string>& arguments) {
  std::string name = program;
  if (!name.empty() && name[0] == '/') {
    name = "Z:" + name;
    for (char& c : name) {
      if (c == '/') c = '\\';
    }
  }
  std::string command = Quote(name);
  for (const std::string& argument : arguments)
    command += " " + Quote(argument);
  return command;
}

}  // namespace

ProgramResult RunProgram(const std::string& program,
                         const std::vector<std::string>& arguments,
                         const std::string& directory) {
  ProgramResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out_read, out_write, err_read, err_write;
  if (!CreatePipe(&out_read, &out_write, &inherit, 0)) return result;
  if (!CreatePipe(&err_read, &err_write, &inherit, 0)) return result;
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);

  std::string command = CommandLine(program, arguments);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process;
  // The program is named by the command line alone, so that Wine also
  // finds a Linux program given by its Unix path.
  BOOL started = CreateProcessA(
      nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
      directory.empty() ? nullptr : directory.c_str(), &startup, &process);
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (started) {
    std::thread err_reader([&] { result.err = Drain(err_read); });
    result.out = Drain(out_read);
    err_reader.join();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status;
    GetExitCodeProcess(process.hProcess, &status);
    result.status = static_cast<int>(status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(out_read);
  CloseHandle(err_read);
  return result;
}

StartedProgram::StartedProgram(const std::string& program,
                               const std::vector<std::string>& arguments) {
  std::string command = CommandLine(program, arguments);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                     nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    process_ = reinterpret_cast<intptr_t>(process.hProcess);
  }
}

StartedProgram::~StartedProgram() { Kill(); }

void StartedProgram::Kill() {
  if (process_ == 0) return;
  HANDLE process = reinterpret_cast<HANDLE>(process_);
  TerminateProcess(process, 1);
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
  process_ = 0;
}

void SetEnvironment(const std::string& name, const char* value) {
  SetEnvironmentVariableA(name.c_str(), value);
}

#else  // Linux

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

StartedProgram::StartedProgram(const std::string& program,
                               const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(),
                  environ) == 0) {
    process_ = pid;
  }
}

StartedProgram::~StartedProgram() { Kill(); }

void StartedProgram::Kill() {
  if (process_ == 0) return;
  const auto pid = static_cast<pid_t>(process_);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  process_ = 0;
}

void SetEnvironment(const std::string& name, const char* value) {
  if (value) {
    setenv(name.c_str(), value, 1);
  } else {
    unsetenv(name.c_str());
  }
}

ProgramResult RunProgram(const std::string& program,
                         const std::vector<std::string>& arguments,
                         const std::string& directory) {
  ProgramResult result;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return result;
  if (pipe2(err, O_CLOEXEC) != 0) return result;

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  if (!directory.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  }
  pid_t pid;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr,
                            argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);

  if (spawned == 0) {
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&result.out, &result.err};
    int open_count = 2;
    while (open_count > 0 && poll(fds, 2, -1) > 0) {
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[4096];
        ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          texts[i]->append(buffer, n);
        } else {
          fds[i].fd = -1;
          --open_count;
        }
      }
    }
    int status;
    if (waitpid(pid, &status, 0) == pid) {
      result.status =
          WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
  }
  close(out[0]);
  close(err[0]);
  return result;
}

#endif
