// peak_rss PROGRAM ARGS...: runs PROGRAM and writes "PEAK STATUS" to file
// descriptor 3: its peak resident memory in KiB and its raw wait status.
//
// A child's peak as the kernel reports it includes the peak of the process
// it was forked from, since exec keeps the larger of the two. A test that
// holds large inputs in memory therefore cannot measure its children
// directly; this small launcher stands between them.
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) return 127;
  pid_t pid = fork();
  if (pid == 0) {
    close(3);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage usage = {};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return 127;
  dprintf(3, "%ld %d\n", usage.ru_maxrss, status);
  return 0;
}
