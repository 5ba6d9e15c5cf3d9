// Modules, resources, strings and global memory. The same cases run against
// the Linux layer and, in the Windows build, against the system's own
// functions under Wine; cases of the Linux layer alone are marked.
#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "win32.h"
#ifndef _WIN32
#include <atomic>
#include <thread>

#include "posix/resource_data.h"
#endif

namespace {

using WideString = std::basic_string<WCHAR>;

WideString Wide(const char* ascii) {
  WideString text;
  for (; *ascii != '\0'; ++ascii) text += static_cast<WCHAR>(*ascii);
  return text;
}

std::string Bytes(HMODULE module, HRSRC resource) {
  const void* data = LockResource(LoadResource(module, resource));
  if (data == nullptr) return "<not loaded>";
  return std::string(static_cast<const char*>(data),
                     SizeofResource(module, resource));
}

// The test executable carries HOSTDATA and 42 of type TESTDATA.
TEST(ResourceLookup, NamesTypesAndIntegers) {
  struct Case {
    LPCSTR name;
    LPCSTR type;
    const char* bytes;  // null: not found
  } cases[] = {
      {"HOSTDATA", "TESTDATA", "host bytes"},
      {"hostData", "testdata", "host bytes"},  // names ignore ASCII case
      {MAKEINTRESOURCEA(42), "TESTDATA", "forty-two"},
      {"#42", "TESTDATA", "forty-two"},  // "#n" is the integer n
      {"#042", "#0", nullptr},
      {"42", "TESTDATA", nullptr},  // a text, not the integer
      {"HOSTDAT", "TESTDATA", nullptr},
      {"HOSTDATAX", "TESTDATA", nullptr},
      {"HOSTDATA", "TESTDAT", nullptr},
      {MAKEINTRESOURCEA(43), "TESTDATA", nullptr},
      {"#", "TESTDATA", nullptr},
      {"#65578", "TESTDATA", nullptr},  // 42 + 65536 is no integer id
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(IS_INTRESOURCE(c.name) ? "integer" : c.name);
    HRSRC narrow = FindResourceA(nullptr, c.name, c.type);
    WideString name_w, type_w;
    LPCWSTR wide_name = IS_INTRESOURCE(c.name)
                            ? reinterpret_cast<LPCWSTR>(c.name)
                            : (name_w = Wide(c.name)).c_str();
    LPCWSTR wide_type = (type_w = Wide(c.type)).c_str();
    HRSRC wide = FindResourceW(nullptr, wide_name, wide_type);
    if (c.bytes == nullptr) {
      EXPECT_EQ(nullptr, narrow);
      EXPECT_EQ(nullptr, wide);
      continue;
    }
    ASSERT_NE(nullptr, narrow);
    EXPECT_EQ(narrow, wide);
    EXPECT_EQ(c.bytes, Bytes(nullptr, narrow));
  }
}

TEST(ResourceLookup, NullModuleIsTheExecutable) {
  HMODULE exe = GetModuleHandleA(nullptr);
  ASSERT_NE(nullptr, exe);
  HRSRC found = FindResourceA(exe, "HOSTDATA", "TESTDATA");
  EXPECT_NE(nullptr, found);
  EXPECT_EQ(found, FindResourceA(nullptr, "HOSTDATA", "TESTDATA"));
  EXPECT_EQ(nullptr, LoadResource(exe, nullptr));
  EXPECT_EQ(0u, SizeofResource(exe, nullptr));
}

TEST(StringLoading, CopiesAtMostCapacityLessOneAndTerminates) {
  struct Case {
    UINT id;
    int capacity;
    const char* text;
  } cases[] = {
      {1, 100, "Hello world"},
      {1, 12, "Hello world"},  // exactly room for the terminator
      {1, 11, "Hello worl"},
      {1, 6, "Hello"},
      {1, 1, ""},
      {17, 100, "second block"},  // the second block of the table
      {3, 100, ""},               // a gap in a block
      {999, 100, ""},             // no such block
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " capacity " << c.capacity);
    char buffer[128];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(static_cast<int>(strlen(c.text)),
              LoadStringA(nullptr, c.id, buffer, c.capacity));
    EXPECT_STREQ(c.text, buffer);
    EXPECT_EQ('x', buffer[c.capacity]) << "wrote past the capacity";
  }
}

#ifndef _WIN32
// UTF-16 becomes UTF-8 (the ANSI code page of the Linux build), and a
// character that does not fit whole is left out.
TEST(StringLoading, ConvertsToUtf8WithoutCuttingACharacter) {
  struct Case {
    int capacity;
    const char* text;
  } cases[] = {
      {11, "a\xc3\xa9\xe2\x82\xac\xf0\x9d\x84\x9e"},  // all 10 bytes
      {10, "a\xc3\xa9\xe2\x82\xac"},                  // not 3 of 4 bytes
      {7, "a\xc3\xa9\xe2\x82\xac"},
      {6, "a\xc3\xa9"},
      {4, "a\xc3\xa9"},
      {3, "a"},
      {2, "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.capacity);
    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(static_cast<int>(strlen(c.text)),
              LoadStringA(nullptr, 2, buffer, c.capacity));
    EXPECT_STREQ(c.text, buffer);
    EXPECT_EQ('x', buffer[c.capacity]);
  }
}

TEST(StringLoading, NoCapacityWritesNothing) {
  char buffer[4] = "abc";
  EXPECT_EQ(0, LoadStringA(nullptr, 1, buffer, 0));
  EXPECT_EQ(0, LoadStringA(nullptr, 1, buffer, -5));
  EXPECT_STREQ("abc", buffer);
  EXPECT_EQ(0, LoadStringA(nullptr, 1, nullptr, 10));
}
#endif

// A library loaded from the executable's folder answers with its own
// resources only, and the executable with its own.
class LoadedModuleTest : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA("ResTest.dll", nullptr,
                             LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    ASSERT_NE(nullptr, module_);
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE module_ = nullptr;
};

TEST_F(LoadedModuleTest, EachModuleAnswersWithItsOwnResources) {
  char buffer[64];
  EXPECT_EQ(13, LoadStringA(module_, 1, buffer, sizeof buffer));
  EXPECT_STREQ("module string", buffer);
  EXPECT_EQ(11, LoadStringA(nullptr, 1, buffer, sizeof buffer));
  EXPECT_STREQ("Hello world", buffer);

  HRSRC own = FindResourceA(module_, "MODULEDATA", "TESTDATA");
  ASSERT_NE(nullptr, own);
  EXPECT_EQ("module bytes", Bytes(module_, own));
  EXPECT_EQ(nullptr, FindResourceA(module_, "HOSTDATA", "TESTDATA"));
  EXPECT_EQ(nullptr, FindResourceA(nullptr, "MODULEDATA", "TESTDATA"));
  EXPECT_EQ(nullptr,
            FindResourceA(GetModuleHandleA(nullptr), "MODULEDATA", "TESTDATA"));
}

TEST_F(LoadedModuleTest, IsFoundByNameUntilReleased) {
  auto answer = reinterpret_cast<int (*)()>(
      reinterpret_cast<void*>(GetProcAddress(module_, "ResTestAnswer")));
  ASSERT_NE(nullptr, answer);
  EXPECT_EQ(7, answer());
  EXPECT_EQ(nullptr, GetProcAddress(module_, "NoSuchFunction"));

  EXPECT_EQ(module_, GetModuleHandleA("ResTest.dll"));
  HMODULE again =
      LoadLibraryExA("ResTest.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  EXPECT_EQ(module_, again);
  EXPECT_TRUE(FreeLibrary(again));
  EXPECT_EQ(module_, GetModuleHandleA("ResTest.dll")) << "released too soon";
  EXPECT_TRUE(FreeLibrary(module_));
  module_ = nullptr;
  EXPECT_EQ(nullptr, GetModuleHandleA("ResTest.dll"));
}

#ifndef _WIN32
// The first lookups in a module come from several threads at once: each gets
// the module's own answers, and after the module is released and loaded
// again its answers are still its own.
TEST_F(LoadedModuleTest, FirstLookupsFromManyThreadsAgree) {
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&] {
        char buffer[32];
        for (int i = 0; i < 200; ++i) {
          if (LoadStringA(module_, 1, buffer, sizeof buffer) != 13 ||
              strcmp(buffer, "module string") != 0 ||
              FindResourceA(module_, "MODULEDATA", "TESTDATA") == nullptr)
            ++wrong;
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, wrong.load());
    ASSERT_TRUE(FreeLibrary(module_));
    module_ = LoadLibraryExA("ResTest.dll", nullptr,
                             LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    ASSERT_NE(nullptr, module_);
  }
}

// A module stays loaded while any reference to it is held: another thread
// giving back its own references leaves lookups through this one intact.
TEST_F(LoadedModuleTest, LookupsGoOnWhileOtherReferencesAreFreed) {
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&] {
      char buffer[32];
      while (!done.load()) {
        if (LoadStringA(module_, 1, buffer, sizeof buffer) != 13 ||
            strcmp(buffer, "module string") != 0 ||
            FindResourceA(module_, "MODULEDATA", "TESTDATA") == nullptr)
          ++wrong;
      }
    });
  }
  for (int i = 0; i < 2000; ++i) {
    HMODULE again = LoadLibraryExA("ResTest.dll", nullptr,
                                   LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    EXPECT_EQ(module_, again);
    EXPECT_TRUE(FreeLibrary(again));
  }
  done = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, wrong.load());
}
#endif

TEST(LibraryLoading, MissingLibraryGivesNull) {
  EXPECT_EQ(nullptr, LoadLibraryA("NoSuchLibrary.dll"));
  EXPECT_EQ(nullptr, LoadLibraryExA("NoSuchLibrary.dll", nullptr,
                                    LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
  EXPECT_EQ(nullptr, GetModuleHandleA("NoSuchLibrary.dll"));
}

TEST(GlobalMemory, MovableBlockIsLockedThroughItsHandle) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 10);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(10u, GlobalSize(block));
  auto* data = static_cast<char*>(GlobalLock(block));
  ASSERT_NE(nullptr, data);
  EXPECT_NE(block, static_cast<HGLOBAL>(data)) << "the handle is no address";
  EXPECT_EQ(std::string(10, '\0'), std::string(data, 10));
  memcpy(data, "0123456789", 10);
  EXPECT_EQ(data, GlobalLock(block));
  EXPECT_TRUE(GlobalUnlock(block)) << "locked twice, unlocked once";
  EXPECT_FALSE(GlobalUnlock(block));
  EXPECT_EQ("0123456789",
            std::string(static_cast<char*>(GlobalLock(block)), 10));
  GlobalUnlock(block);
  EXPECT_EQ(nullptr, GlobalFree(block));
}

TEST(GlobalMemory, FixedBlockIsItsOwnAddress) {
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, 3);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(block, GlobalLock(block));
  EXPECT_EQ(3u, GlobalSize(block));
  EXPECT_EQ(nullptr, GlobalFree(block));
}

#ifndef _WIN32
// .res data built record by record, for the reader of the Linux layer.
class ResData {
 public:
  ResData() { Add(0, 0, "", 0); }  // every .res file starts so

  // A record with integer type and name.
  ResData& Add(WORD type, WORD name, const std::string& data,
               WORD language = 0x411) {
    return Add(Id(type), Id(name), data, language);
  }
  // A record with text name and integer type.
  ResData& AddNamed(WORD type, const char* name, const std::string& data,
                    WORD language = 0x411) {
    std::vector<uint8_t> text;
    for (; *name != '\0'; ++name) Append16(text, static_cast<uint8_t>(*name));
    Append16(text, 0);
    return Add(Id(type), text, data, language);
  }

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  static void Append16(std::vector<uint8_t>& out, WORD value) {
    out.push_back(value & 0xFF);
    out.push_back(value >> 8);
  }
  static void Append32(std::vector<uint8_t>& out, DWORD value) {
    Append16(out, value & 0xFFFF);
    Append16(out, value >> 16);
  }
  static std::vector<uint8_t> Id(WORD number) {
    std::vector<uint8_t> id;
    Append16(id, 0xFFFF);
    Append16(id, number);
    return id;
  }
  ResData& Add(const std::vector<uint8_t>& type,
               const std::vector<uint8_t>& name, const std::string& data,
               WORD language) {
    std::vector<uint8_t> header(8);
    header.insert(header.end(), type.begin(), type.end());
    header.insert(header.end(), name.begin(), name.end());
    while (header.size() % 4) header.push_back(0);
    Append32(header, 0);       // data version
    Append16(header, 0x1030);  // memory flags
    Append16(header, language);
    Append32(header, 0);  // version
    Append32(header, 0);  // characteristics
    std::vector<uint8_t> sizes;
    Append32(sizes, static_cast<DWORD>(data.size()));
    Append32(sizes, static_cast<DWORD>(header.size()));
    std::copy(sizes.begin(), sizes.end(), header.begin());
    bytes_.insert(bytes_.end(), header.begin(), header.end());
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    while (bytes_.size() % 4) bytes_.push_back(0);
    return *this;
  }

  std::vector<uint8_t> bytes_;
};

// Looks name (type 10) up in an exact-size copy of data, so that a read past
// its end is an error under AddressSanitizer. The bytes found, or null.
std::unique_ptr<std::string> Lookup(const std::vector<uint8_t>& data,
                                    size_t size, LPCWSTR name) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size > 0 ? size : 1]);
  memcpy(copy.get(), data.data(), size);
  HRSRC found =
      win32::FindResourceRecord(copy.get(), size, name, MAKEINTRESOURCEW(10));
  // A module's lookups go through its index, which must find the same.
  const win32::ResourceIndex index(copy.get(), size);
  EXPECT_EQ(found, index.Find(name, MAKEINTRESOURCEW(10)));
  if (found == nullptr) return nullptr;
  return std::make_unique<std::string>(
      static_cast<const char*>(LoadResource(nullptr, found)),
      SizeofResource(nullptr, found));
}

TEST(ResourceData, PrefersTheNeutralLanguageThenTheFirst) {
  ResData data;
  data.Add(10, 1, "japanese", 0x411).Add(10, 1, "neutral", 0x000);
  data.Add(10, 2, "japanese", 0x411).Add(10, 2, "english", 0x409);
  const auto& bytes = data.bytes();
  EXPECT_EQ("neutral", *Lookup(bytes, bytes.size(), MAKEINTRESOURCEW(1)));
  EXPECT_EQ("japanese", *Lookup(bytes, bytes.size(), MAKEINTRESOURCEW(2)));
}

// Many records, so that lookups probe a large index: every one is found
// with its own bytes, whatever its neighbours, and absent ones are not.
TEST(ResourceData, IndexFindsEachOfManyRecords) {
  ResData data;
  for (WORD id = 1; id <= 3000; ++id) data.Add(10, id, std::to_string(id));
  data.Add(10, 77, "neutral copy", 0x000);  // a second language of 77
  data.Add(11, 5, "another type").AddNamed(10, "NAMED", "by name");
  const auto& bytes = data.bytes();
  const win32::ResourceIndex index(bytes.data(), bytes.size());
  for (WORD id = 1; id <= 3000; ++id) {
    HRSRC found = index.Find(MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));
    ASSERT_NE(nullptr, found) << id;
    EXPECT_EQ(id == 77 ? "neutral copy" : std::to_string(id),
              Bytes(nullptr, found));
  }
  struct Case {
    LPCWSTR name;
    LPCWSTR type;
    const char* bytes;  // null: not found
  } cases[] = {
      {MAKEINTRESOURCEW(3001), MAKEINTRESOURCEW(10), nullptr},
      {MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(11), "another type"},
      {MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(11), nullptr},
      {u"#5", u"#11", "another type"},
      {u"named", MAKEINTRESOURCEW(10), "by name"},
      {u"NAMED", MAKEINTRESOURCEW(11), nullptr},
      {MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(0), nullptr},
  };
  for (const Case& c : cases) {
    HRSRC found = index.Find(c.name, c.type);
    EXPECT_EQ(
        win32::FindResourceRecord(bytes.data(), bytes.size(), c.name, c.type),
        found);
    EXPECT_EQ(c.bytes != nullptr, found != nullptr);
    if (c.bytes != nullptr && found != nullptr) {
      EXPECT_EQ(c.bytes, Bytes(nullptr, found));
    }
  }
}

TEST(ResourceData, EveryCutAnswersOnlyFromWholeRecords) {
  ResData data;
  data.AddNamed(10, "FIRST", "one").Add(10, 2, "second");
  const auto& bytes = data.bytes();
  // The empty record ends at 32; FIRST's data at 75, SECOND's at 114. A cut
  // in the padding after a record's data leaves that record whole.
  ASSERT_EQ(116u, bytes.size());
  for (size_t size = 0; size <= bytes.size(); ++size) {
    SCOPED_TRACE(size);
    auto first = Lookup(bytes, size, Wide("FIRST").c_str());
    auto second = Lookup(bytes, size, MAKEINTRESOURCEW(2));
    bool whole =
        size == 0 || size == 32 || size == 75 || size == 76 || size >= 114;
    EXPECT_EQ(whole && size >= 75, first != nullptr);
    EXPECT_EQ(size >= 114, second != nullptr);
  }
}

TEST(ResourceData, MalformedDataAnswersNothing) {
  ResData valid;
  valid.AddNamed(10, "NAME", "payload").Add(10, 7, "seven");
  const size_t record = 32;  // where the NAME record starts
  struct Case {
    const char* what;
    size_t offset;  // of the 32-bit value replaced
    DWORD value;
  } cases[] = {
      {"header smaller than its sizes", record + 4, 4},
      {"header past the end", record + 4, 0x10000},
      {"header size wraps", record + 4, 0xFFFFFFFF},
      {"data past the end", record, 0x10000},
      {"data size wraps", record, 0xFFFFFFF0},
      {"name without terminator", record + 4, 8 + 4 + 8},
      {"no room for language", record + 4, 8 + 4 + 10 + 2 + 8},
      {"type field cut", record + 4, 10},
  };
  ASSERT_NE(nullptr,
            Lookup(valid.bytes(), valid.bytes().size(), MAKEINTRESOURCEW(7)));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = valid.bytes();
    memcpy(bytes.data() + c.offset, &c.value, sizeof c.value);
    EXPECT_EQ(nullptr, Lookup(bytes, bytes.size(), MAKEINTRESOURCEW(7)));
    EXPECT_EQ(nullptr, Lookup(bytes, bytes.size(), Wide("NAME").c_str()));
  }
}
#endif

}  // namespace
