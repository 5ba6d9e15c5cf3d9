// What the fuzz targets share: reading an input as a series of choices,
// checks that stop the run with a report, and a folder of the process's own.
#ifndef TESTS_FUZZ_FUZZ_SUPPORT_H_
#define TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <string_view>

/// The input of one run, read front to back as choices. Once the bytes run
/// out every choice is the first one, so every input is a valid one.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size)
      : data_(reinterpret_cast<const char*>(data)), size_(size) {}

  bool empty() const { return pos_ == size_; }

  uint8_t Byte() {
    return pos_ < size_ ? static_cast<uint8_t>(data_[pos_++]) : 0;
  }

  /// A number from 0 to bound - 1; bound is at least 1.
  size_t Below(size_t bound) {
    size_t value = Byte();
    if (bound > 256) value = value << 8 | Byte();
    return value % bound;
  }

  bool Flag() { return Byte() & 1; }

  /// At most max bytes, as many as the input asks for and still holds.
  std::string Bytes(size_t max) {
    size_t count = Below(max + 1);
    if (count > size_ - pos_) count = size_ - pos_;
    std::string bytes(data_ + pos_, count);
    pos_ += count;
    return bytes;
  }

  /// Whatever is left.
  std::string Rest() {
    std::string bytes(data_ + pos_, size_ - pos_);
    pos_ = size_;
    return bytes;
  }

 private:
  const char* data_;
  size_t size_;
  size_t pos_ = 0;
};

/// Text shown in a report: printable ASCII as it is, the rest escaped.
inline std::string Shown(std::string_view bytes) {
  std::string shown = "\"";
  for (unsigned char c : bytes) {
    if (c == '\\' || c == '"') {
      shown += '\\';
      shown += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    }
  }
  return shown + "\"";
}

inline std::string Shown(long long number) { return std::to_string(number); }

[[noreturn]] inline void FuzzFailure(const char* file, int line,
                                     const char* what,
                                     const std::string& details) {
  fprintf(stderr, "%s:%d: check failed: %s\n%s", file, line, what,
          details.c_str());
  // An abort is what the fuzzer records as a finding, with the input.
  abort();
}

/// Stops the run, with the input kept as a finding, when condition is false.
#define FUZZ_CHECK(condition)                                          \
  do {                                                                 \
    if (!(condition)) FuzzFailure(__FILE__, __LINE__, #condition, ""); \
  } while (0)

/// The same for two values that must be equal; both are shown.
#define FUZZ_CHECK_EQ(expected, actual)                               \
  do {                                                                \
    const auto fuzz_expected_ = (expected);                           \
    const auto fuzz_actual_ = (actual);                               \
    if (!(fuzz_expected_ == fuzz_actual_)) {                          \
      FuzzFailure(__FILE__, __LINE__, #expected " == " #actual,       \
                  "  expected: " + Shown(fuzz_expected_) +            \
                      "\n  actual:   " + Shown(fuzz_actual_) + "\n"); \
    }                                                                 \
  } while (0)

/// A folder of this process's own under $TMPDIR (else /tmp), made on first
/// use and removed with everything in it when the process exits normally.
const std::string& ProcessFolder(const char* name);

#endif  // TESTS_FUZZ_FUZZ_SUPPORT_H_
