// LoadText, GetText and GetTextLine with ids, capacities and line indexes of
// the input's choosing. Texts come from two sources:
// - a class derived from CPemrik whose LoadText hands out texts that the
//   input defines: of any length up to past what the ring holds, with any
//   bytes (a NUL among them too), some with a count that is not their
//   length, some filling the whole buffer without a terminator, as a host's
//   replacement might;
// - the real LoadText over the string table of this executable, which
//   stands in for the edition and the host module alike.
// A shadow of the text pool follows the rule of the ring: a text of n bytes
// goes at the pool offset with its terminator, or at the pool's first byte
// when offset + n + 1 would pass its end; a line is terminated in place.
// n is LoadText's count where that count lies in the buffer and ends at a
// terminator (past an earlier NUL it reserves bytes that are not copied),
// and otherwise the length of the text, so that no count moves a copy out
// of the pool.
// After every call the real pool must equal the shadow byte for byte (so no
// text outside its place, nothing unterminated, no stray write) and the
// pointer returned must be where the rule puts the text or line. The pool
// is a global, so AddressSanitizer reports any write past it.
#include <limits.h>
#include <string.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Pemrik.h"
#include "fuzz_support.h"
#include "module_handles.h"

namespace {

constexpr int kPoolSize = 4096;

// A text that the replaced LoadText hands out.
struct Text {
  enum Kind { kHonest, kWrongCount, kUnterminated } kind = kHonest;
  std::string bytes;
  int count = 0;  // what a kWrongCount LoadText returns
};

class InputTexts : public CPemrik {
 public:
  int LoadText(UINT id, LPSTR buffer, int capacity) override {
    const Text& text = texts[id % kSlots];
    written.clear();
    if (capacity < 1) return 0;
    if (text.kind == Text::kUnterminated) {
      // Every byte of the buffer, and no terminator among them.
      for (int i = 0; i < capacity; ++i) {
        const char c =
            text.bytes.empty() ? 'u' : text.bytes[i % text.bytes.size()];
        written += c == '\0' ? 'z' : c;
      }
      memcpy(buffer, written.data(), written.size());
      return capacity;
    }
    written = text.bytes.substr(0, capacity - 1);
    written += '\0';
    memcpy(buffer, written.data(), written.size());
    return text.kind == Text::kHonest ? static_cast<int>(written.size() - 1)
                                      : text.count;
  }

  static constexpr size_t kSlots = 8;
  Text texts[kSlots];
  std::string written;  // what the last call wrote into its buffer
};

// The text that GetText takes from what LoadText wrote: up to the first
// NUL, and never more than the pool's last byte can end.
std::string TextOf(const std::string& written) {
  std::string text = written.substr(0, written.find('\0'));
  if (text.size() > kPoolSize - 1) text.resize(kPoolSize - 1);
  return text;
}

class Ring {
 public:
  Ring() {
    static bool attached = false;
    if (!attached) {
      // This executable is the edition module too.
      DllMain(GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, nullptr);
      attached = true;
    }
    // A text of 4095 bytes always starts at the pool's first byte, wherever
    // the last input left the ring: that finds the pool and its offset.
    texts_.texts[0] = {Text::kHonest, std::string(kPoolSize - 1, 'f'), 0};
    pool_ = texts_.GetText(0);
    offset_ = kPoolSize;
    memcpy(shadow_, pool_, kPoolSize);
  }

  void Define(FuzzInput& in) {
    Text& text = texts_.texts[in.Below(InputTexts::kSlots)];
    text.kind = static_cast<Text::Kind>(in.Below(3));
    size_t length = 0;
    switch (in.Below(6)) {
      case 0:
        length = in.Below(8);
        break;
      case 1:
        length = in.Below(64);
        break;
      case 2:
        length = kPoolSize - 3 + in.Below(4);  // 4093 to 4096
        break;
      case 3:
        length = in.Below(kPoolSize);
        break;
      case 4:
        length = 5000;
        break;
      default:
        break;
    }
    std::string pattern = in.Bytes(8);
    if (pattern.empty()) pattern = "A\nB";
    text.bytes.clear();
    for (size_t i = 0; i < length; ++i) {
      text.bytes += pattern[i % pattern.size()];
    }
    static const int kCounts[] = {-1, 0, INT_MIN, INT_MAX, kPoolSize};
    text.count = kCounts[in.Below(5)];
  }

  void GetText(FuzzInput& in, bool real) {
    const UINT id = Id(in, real);
    const Placed text = Expected(id, real);
    const char* got = Object(real).GetText(id);
    FUZZ_CHECK(got == pool_ + Place(text));
    Compare();
  }

  void GetTextLine(FuzzInput& in, bool real) {
    const UINT id = Id(in, real);
    static const int kIndexes[] = {INT_MIN, -1, 0, 1, 2, 3, 7, INT_MAX};
    const int index =
        in.Flag() ? kIndexes[in.Below(8)] : static_cast<int>(in.Below(64)) - 8;
    const Placed placed = Expected(id, real);
    const std::string& text = placed.text;
    const char* got = Object(real).GetTextLine(id, index);
    // Line index of the text just placed (the first for index 0 and
    // below, the last for one past it), terminated where its LF was.
    const size_t start = Place(placed);
    size_t line = 0;
    for (int k = 0; k < index; ++k) {
      const size_t feed = text.find('\n', line);
      if (feed == std::string::npos) break;
      line = feed + 1;
    }
    const size_t feed = text.find('\n', line);
    if (feed != std::string::npos) shadow_[start + feed] = '\0';
    FUZZ_CHECK(got == pool_ + start + line);
    Compare();
  }

  // The real LoadText with a capacity of the input's choosing, into a
  // buffer of exactly that size: at most capacity - 1 bytes, terminated,
  // the count its length, a prefix of the whole text. The pool is not
  // touched.
  void LoadText(FuzzInput& in) {
    const UINT id = Id(in, true);
    static const int kCapacities[] = {1, 2, 9, 10, 11, 12, 255, 256};
    const int capacity = in.Flag() ? kCapacities[in.Below(8)]
                                   : static_cast<int>(in.Below(5000)) + 1;
    const std::string whole = RealText(id, kPoolSize);
    const std::string cut = RealText(id, capacity);
    FUZZ_CHECK(cut.size() < static_cast<size_t>(capacity));
    FUZZ_CHECK_EQ(whole.substr(0, cut.size()), cut);
    // The test module's strings are ASCII: no character can be cut, so the
    // text is cut exactly at the capacity.
    FUZZ_CHECK_EQ(std::min(whole.size(), static_cast<size_t>(capacity) - 1),
                  cut.size());
    Compare();
  }

 private:
  CPemrik0& Object(bool real) {
    return real ? static_cast<CPemrik0&>(g_Pemrik) : texts_;
  }

  // Ids of the test module's string table, and others it lacks.
  UINT Id(FuzzInput& in, bool real) {
    if (!real) return static_cast<UINT>(in.Below(InputTexts::kSlots));
    static const UINT kIds[] = {3, 279, 283, 298, 500, 4, 0, 65535 + 280};
    return in.Flag() ? kIds[in.Below(8)]
                     : static_cast<UINT>(in.Byte() << 8 | in.Byte());
  }

  // A text that GetText places, and the bytes it takes from the ring
  // besides its terminator.
  struct Placed {
    std::string text;
    size_t reserved = 0;
  };

  // What GetText must place for id.
  Placed Expected(UINT id, bool real) {
    if (real) {
      std::string text = RealText(id, kPoolSize);
      const size_t length = text.size();
      return {std::move(text), length};
    }
    std::unique_ptr<char[]> scratch(new char[kPoolSize]);
    const int count = texts_.LoadText(id, scratch.get(), kPoolSize);
    const std::string& written = texts_.written;
    Placed placed{TextOf(written), 0};
    const bool count_ends_text = count >= 0 && count < kPoolSize &&
                                 static_cast<size_t>(count) < written.size() &&
                                 written[count] == '\0';
    placed.reserved =
        count_ends_text ? static_cast<size_t>(count) : placed.text.size();
    return placed;
  }

  std::string RealText(UINT id, int capacity) {
    std::unique_ptr<char[]> buffer(new char[capacity]);
    const int count = g_Pemrik.LoadText(id, buffer.get(), capacity);
    FUZZ_CHECK(count >= 0 && count < capacity);
    FUZZ_CHECK_EQ('\0', buffer[count]);
    FUZZ_CHECK_EQ(strlen(buffer.get()), static_cast<size_t>(count));
    return std::string(buffer.get(), count);
  }

  // Puts a text into the shadow by the rule; returns its offset.
  size_t Place(const Placed& placed) {
    if (offset_ + placed.reserved + 1 > kPoolSize) offset_ = 0;
    const size_t at = offset_;
    memcpy(shadow_ + at, placed.text.c_str(), placed.text.size() + 1);
    offset_ += placed.reserved + 1;
    return at;
  }

  void Compare() {
    for (size_t i = 0; i < kPoolSize; ++i) {
      if (pool_[i] != shadow_[i]) {
        FuzzFailure(__FILE__, __LINE__, "pool == shadow",
                    "  first difference at byte " + std::to_string(i) + "\n");
      }
    }
  }

  InputTexts texts_;
  const char* pool_ = nullptr;
  size_t offset_ = 0;
  char shadow_[kPoolSize];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  Ring ring;
  for (int op = 0; op < 32 && !in.empty(); ++op) {
    switch (in.Below(7)) {
      case 0:
        ring.Define(in);
        break;
      case 1:
        ring.GetText(in, false);
        break;
      case 2:
        ring.GetTextLine(in, false);
        break;
      case 3:
        ring.GetText(in, true);
        break;
      case 4:
        ring.GetTextLine(in, true);
        break;
      case 5:
        ring.LoadText(in);
        break;
      default:
        ring.Define(in);
        ring.GetText(in, false);
        break;
    }
  }
  return 0;
}
