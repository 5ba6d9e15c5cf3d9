// The Linux layer's reader of compiled resource data (.res) and the string
// conversion of LoadStringA, over random and mutated .res data. The input is
// a name (up to 16 bytes) and then the data, copied to storage of exactly
// its size so that AddressSanitizer sees any read past it. Checked:
// - a record found, and the bytes LoadResource and SizeofResource give for
//   it, lie inside the data;
// - a name is read up to its terminator and no further (names of exactly
//   their size);
// - a string comes out terminated, within the capacity, as whole UTF-8
//   characters, and a smaller capacity gives the longest prefix of it that
//   fits.
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "posix/resource_data.h"
#include "win32.h"

namespace {

// 16-bit text in storage of exactly its size, terminator included.
std::unique_ptr<WCHAR[]> Wide(const std::u16string& text) {
  std::unique_ptr<WCHAR[]> copy(new WCHAR[text.size() + 1]);
  memcpy(copy.get(), text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  return copy;
}

// The length of the UTF-8 character at text[i], or 0 when none starts there.
size_t CharacterAt(const std::string& text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const size_t length = lead < 0x80                    ? 1
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
  if (length == 0 || i + length > text.size()) return 0;
  char32_t code = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3F);
  }
  static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[length] || code > 0x10FFFF) return 0;
  if (code >= 0xD800 && code < 0xE000) return 0;  // a surrogate is no character
  return length;
}

void CheckRecord(const BYTE* data, size_t size, HRSRC found) {
  if (found == nullptr) return;
  const auto* record = reinterpret_cast<const BYTE*>(found);
  FUZZ_CHECK(record >= data && size - (record - data) >= 8);
  const auto* bytes =
      static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
  const DWORD length = SizeofResource(nullptr, found);
  FUZZ_CHECK(bytes > record && bytes <= data + size);
  FUZZ_CHECK(length <= static_cast<size_t>(data + size - bytes));
  // Every byte is read, so AddressSanitizer sees one outside the data.
  unsigned sum = 0;
  for (DWORD i = 0; i < length; ++i) sum += bytes[i];
  (void)sum;
}

// String id at a capacity: its bytes, in a buffer of exactly that size.
std::string LoadAt(const BYTE* data, size_t size, UINT id, int capacity) {
  std::unique_ptr<char[]> buffer(new char[capacity]);
  const int count =
      win32::LoadStringFromData(data, size, id, buffer.get(), capacity);
  FUZZ_CHECK(count >= 0 && count < capacity);
  FUZZ_CHECK_EQ('\0', buffer[count]);
  // The index that a module's string loads use gives the same text.
  std::unique_ptr<char[]> again(new char[capacity]);
  const win32::ResourceIndex index(data, size);
  FUZZ_CHECK_EQ(count, index.LoadString(id, again.get(), capacity));
  FUZZ_CHECK(memcmp(buffer.get(), again.get(), count + 1) == 0);
  return std::string(buffer.get(), count);
}

void CheckString(const BYTE* data, size_t size, UINT id) {
  // Each 16-bit unit of the data gives at most three bytes.
  const int whole = static_cast<int>(size / 2 * 3 + 1);
  const std::string text = LoadAt(data, size, id, whole);
  FUZZ_CHECK(text.size() + 1 < static_cast<size_t>(whole) || size < 2);
  for (size_t i = 0; i < text.size();) {
    const size_t length = CharacterAt(text, i);
    FUZZ_CHECK(length > 0);
    i += length;
  }
  const int capacities[] = {1,
                            2,
                            3,
                            4,
                            5,
                            static_cast<int>(text.size()),
                            static_cast<int>(text.size()) + 1,
                            static_cast<int>(text.size() / 2) + 1};
  for (int capacity : capacities) {
    if (capacity < 1) continue;
    const std::string cut = LoadAt(data, size, id, capacity);
    FUZZ_CHECK_EQ(text.substr(0, cut.size()), cut);
    // The longest that fits: all of it, or the next character would not.
    const size_t room = static_cast<size_t>(capacity) - 1;
    FUZZ_CHECK(cut.size() == text.size() ||
               cut.size() + CharacterAt(text, cut.size()) > room);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t input_size) {
  FuzzInput in(input, input_size);
  const std::string name = in.Bytes(16);
  const std::string rest = in.Rest();
  const size_t size = rest.size();
  std::unique_ptr<BYTE[]> data(new BYTE[size == 0 ? 1 : size]);
  memcpy(data.get(), rest.data(), size);

  // The name as 16-bit text (pairs of bytes) and as 8-bit text.
  std::u16string wide_name;
  for (size_t i = 0; i + 1 < name.size(); i += 2) {
    const char16_t unit = static_cast<unsigned char>(name[i]) |
                          static_cast<unsigned char>(name[i + 1]) << 8;
    if (unit == 0) break;
    wide_name += unit;
  }
  const auto input_name = Wide(wide_name);
  const auto testdata = Wide(u"TESTDATA");
  const auto testdata_lower = Wide(u"testdata");
  const auto number_type = Wide(u"#10");
  const auto hostdata = Wide(u"HOSTDATA");
  const auto one_letter = Wide(u"A");
  const auto number_name = Wide(u"#42");
  const auto zero = Wide(u"#0");
  const auto too_large = Wide(u"#65536");
  const auto hash_alone = Wide(u"#");
  const LPCWSTR types[] = {
      MAKEINTRESOURCEW(6),  MAKEINTRESOURCEW(5),  MAKEINTRESOURCEW(2),
      MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(24), testdata.get(),
      testdata_lower.get(), number_type.get(),    input_name.get()};
  const LPCWSTR names[] = {
      MAKEINTRESOURCEW(1),   MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(42),
      MAKEINTRESOURCEW(110), hostdata.get(),      one_letter.get(),
      number_name.get(),     zero.get(),          too_large.get(),
      hash_alone.get(),      input_name.get()};
  const win32::ResourceIndex index(data.get(), size);
  for (LPCWSTR type : types) {
    for (LPCWSTR resource : names) {
      HRSRC found = win32::FindResourceRecord(data.get(), size, resource, type);
      CheckRecord(data.get(), size, found);
      // The index that a module's lookups use finds the same record.
      FUZZ_CHECK(index.Find(resource, type) == found);
    }
  }

  // Every string of the first blocks, and ids at the edges.
  for (UINT id = 0; id < 48; ++id) CheckString(data.get(), size, id);
  for (UINT id : {4095u, 4096u, 65535u, 65536u + 1}) {
    CheckString(data.get(), size, id);
  }

  // The 8-bit name goes through FindResourceA's conversion to 16-bit text,
  // which must not read past its terminator. (This executable carries no
  // resources, so the lookup itself finds nothing.)
  const std::string narrow = name.c_str();
  std::unique_ptr<char[]> narrow_name(new char[narrow.size() + 1]);
  memcpy(narrow_name.get(), narrow.c_str(), narrow.size() + 1);
  FindResourceA(nullptr, narrow_name.get(), "TESTDATA");
  return 0;
}
