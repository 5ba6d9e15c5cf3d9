// read_once FILE: reads the file once, front to back, through a buffer of
// 64 KiB, as cat does: the least that a walk of the file has to do.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 1;
  static char buffer[1 << 16];
  unsigned long long total = 0;
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 1;
    if (n == 0) break;
    total += static_cast<unsigned long long>(n);
  }
  close(fd);
  printf("%llu\n", total);
  return 0;
}
