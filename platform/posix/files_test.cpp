// Open files and their locks. The first cases run on both platforms: on
// Windows (under Wine) against the system's own functions. How the Linux
// lock stands to other processes, and to the profile service that replaces
// files, is tested on Linux only; defpatch's own tests show the same of the
// Windows build across processes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "win32.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>
#endif

namespace {

namespace fs = std::filesystem;

class FileLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("files_test_" + std::to_string(std::random_device()()));
    fs::create_directories(dir_);
    std::ofstream(Ini(), std::ios::binary) << "[S]\r\nk=old\r\n";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Ini() const { return (dir_ / "search.ini").string(); }
  std::string Bytes() const {
    std::ifstream in(Ini(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static HANDLE Open(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  // A byte far beyond the end of the file.
  static OVERLAPPED FarByte() {
    OVERLAPPED range = {};
    range.OffsetHigh = 0x40000000;
    return range;
  }

  fs::path dir_;
};

TEST_F(FileLockTest, OpensOnlyAnExistingFile) {
  fs::create_directories(dir_ / "folder");
  for (const std::string& path :
       {(dir_ / "missing.ini").string(), (dir_ / "folder").string(),
        (dir_ / "missing" / "search.ini").string()}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path));
  }
  HANDLE file = Open(Ini());
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  EXPECT_TRUE(CloseHandle(file));
}

// The lock keeps nobody from the file's content: the profile functions read
// and write it while it is held, in the holding process too.
TEST_F(FileLockTest, LockFarBeyondTheEndLeavesTheContentAlone) {
  HANDLE file = Open(Ini());
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  OVERLAPPED range = FarByte();
  ASSERT_TRUE(LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range));

  char value[16];
  EXPECT_EQ(3u, GetPrivateProfileStringA("S", "k", "", value, sizeof value,
                                         Ini().c_str()));
  EXPECT_STREQ("old", value);
  EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "new", Ini().c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("S", "k2", "more", Ini().c_str()));
  EXPECT_EQ("[S]\r\nk=new\r\nk2=more\r\n", Bytes());

  range = FarByte();
  EXPECT_TRUE(UnlockFileEx(file, 0, 1, 0, &range));
  range = FarByte();
  EXPECT_FALSE(UnlockFileEx(file, 0, 1, 0, &range)) << "unlocked twice";
  EXPECT_TRUE(CloseHandle(file));
}

#ifndef _WIN32

// body, run in a child process that ends with the status body returns.
class Child {
 public:
  explicit Child(const std::function<int()>& body) : pid_(fork()) {
    if (pid_ == 0) _exit(body());
  }
  ~Child() { Kill(); }

  // Whether it still runs (after a moment to get going).
  bool Running() const {
    siginfo_t info = {};
    return pid_ > 0 &&
           waitid(P_PID, pid_, &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
  }
  // Whether it ends within seconds, and with status 0.
  bool EndsWell(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration<double>(seconds);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Kill();
    return false;
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_;
};

// The profile service replaces a file on every write, so a lock on the
// file itself would be gone after the holder's first write. The lock
// holds the folder: it outlives the replacement, keeps the locks and the
// writes of other processes waiting, never the holder's own, and goes with
// the holder.
TEST_F(FileLockTest, HoldsTheFileAgainstOtherProcessesAcrossItsWrites) {
  int ready[2];
  ASSERT_EQ(0, pipe(ready));
  const std::string ini = Ini();
  Child holder([&] {
    HANDLE file = Open(ini);
    OVERLAPPED range = FarByte();
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range)) return 1;
    // Its own writes replace the file and do not wait for its own lock.
    if (!WritePrivateProfileStringA("S", "k", "holder", ini.c_str())) return 2;
    if (write(ready[1], "!", 1) != 1) return 3;
    pause();
    return 0;
  });
  close(ready[1]);
  char byte;
  ASSERT_EQ(1, read(ready[0], &byte, 1)) << "the holder did not lock";
  close(ready[0]);

  // A lock of the new file and a write in the same folder both wait.
  Child locker([&] {
    HANDLE file = Open(ini);
    OVERLAPPED range = FarByte();
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range) ? 0 : 1;
  });
  Child writer([&] {
    return WritePrivateProfileStringA("S", "k", "writer", ini.c_str()) ? 0 : 1;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(locker.Running()) << "the lock did not wait";
  EXPECT_TRUE(writer.Running()) << "the write did not wait";
  EXPECT_EQ("[S]\r\nk=holder\r\n", Bytes());

  // The holder ends without letting go: the others go on.
  holder.Kill();
  EXPECT_TRUE(locker.EndsWell(10));
  EXPECT_TRUE(writer.EndsWell(10));
  EXPECT_EQ("[S]\r\nk=writer\r\n", Bytes());
}

// Unlocking or closing the handle lets the file go at once; a lock taken
// again in the same process, through another handle, does not wait.
TEST_F(FileLockTest, ReleaseLetsOtherProcessesGoOn) {
  for (bool close_only : {false, true}) {
    SCOPED_TRACE(close_only ? "closed" : "unlocked");
    HANDLE file = Open(Ini());
    OVERLAPPED range = FarByte();
    ASSERT_TRUE(LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range));
    HANDLE again = Open(Ini());
    range = FarByte();
    EXPECT_TRUE(LockFileEx(again, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range));
    EXPECT_TRUE(CloseHandle(again));

    const std::string ini = Ini();
    Child locker([&] {
      HANDLE other = Open(ini);
      OVERLAPPED far = FarByte();
      return LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &far) ? 0 : 1;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(locker.Running()) << "still held through the first handle";
    if (!close_only) {
      range = FarByte();
      EXPECT_TRUE(UnlockFileEx(file, 0, 1, 0, &range));
    }
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(locker.EndsWell(10));
  }
}

// Only a regular file is opened, and opening never blocks.
TEST_F(FileLockTest, NoFifoOrDeviceIsOpened) {
  ASSERT_EQ(0, mkfifo((dir_ / "fifo.ini").c_str(), 0666));
  const std::string fifo = (dir_ / "fifo.ini").string();
  Child opener([&] { return Open(fifo) == INVALID_HANDLE_VALUE ? 0 : 1; });
  EXPECT_TRUE(opener.EndsWell(10));
  // A handle that was never given out is refused.
  EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(&opener)));
}

#endif  // !_WIN32

}  // namespace
