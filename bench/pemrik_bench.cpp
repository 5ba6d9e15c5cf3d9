// Pemrik's operations as a host calls them (through g_Pemrik's table), each
// beside its floor: the least work that the same result needs, measured in
// the same run. bench/run-bench turns the pairs into ratios.
//
// The allocator of this program is replaced by one that counts its calls, so
// that each benchmark of a text operation reports the allocations per call
// after its first call ("allocs").
#include <benchmark/benchmark.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "Pemrik.h"
#include "win32.h"

// ---- Counting allocator ----------------------------------------------------

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<long> g_allocations{0};

void CountOne() { g_allocations.fetch_add(1, std::memory_order_relaxed); }
}  // namespace

// Every allocation of the process, operator new's included (libstdc++'s
// new calls malloc), goes through these.
extern "C" void* malloc(size_t size) {
  CountOne();
  return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
  CountOne();
  return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, size_t size) {
  CountOne();
  return __libc_realloc(block, size);
}
extern "C" void* memalign(size_t alignment, size_t size) {
  CountOne();
  return __libc_memalign(alignment, size);
}
extern "C" void* aligned_alloc(size_t alignment, size_t size) {
  CountOne();
  return __libc_memalign(alignment, size);
}
extern "C" int posix_memalign(void** block, size_t alignment, size_t size) {
  CountOne();
  *block = __libc_memalign(alignment, size);
  return *block != nullptr ? 0 : 12 /* ENOMEM */;
}
extern "C" void free(void* block) { __libc_free(block); }

namespace {

// ---- The modules -----------------------------------------------------------

HMODULE EditionModule() {
  static const HMODULE module = LoadLibraryA(PEMRIK_FILE);
  return module;
}

CPemrik0& Pemrik() {
  static CPemrik0* const object =
      reinterpret_cast<CPemrik0*>(GetProcAddress(EditionModule(), "g_Pemrik"));
  if (object == nullptr) {
    fprintf(stderr, "g_Pemrik is not exported\n");
    exit(1);
  }
  return *object;
}

HMODULE ModuleOfStrings(int count) {
  char path[512];
  snprintf(path, sizeof path, "%s/Strings%d.dll", BENCH_MODULE_DIR, count);
  static HMODULE modules[2];
  HMODULE& module = modules[count == 13 ? 0 : 1];
  if (module == nullptr) module = LoadLibraryA(path);
  return module;
}

uint16_t Unit(const BYTE* at) {
  uint16_t unit;
  memcpy(&unit, at, sizeof unit);
  return unit;
}

// The UTF-16 units of string id in a module's string table, found once.
struct Units {
  const BYTE* data = nullptr;
  size_t length = 0;
};

Units FindUnits(HMODULE module, UINT id) {
  Units units;
  HRSRC block =
      FindResourceW(module, MAKEINTRESOURCEW(id / 16 + 1), MAKEINTRESOURCEW(6));
  if (block == nullptr) return units;
  const auto* data =
      static_cast<const BYTE*>(LockResource(LoadResource(module, block)));
  for (unsigned entry = 0; entry <= (id & 15); ++entry) {
    size_t length = Unit(data);
    if (entry == (id & 15)) {
      units.data = data + 2;
      units.length = length;
    }
    data += 2 + 2 * length;
  }
  return units;
}

// UTF-16 to UTF-8 into out (at most capacity - 1 bytes), terminated: what
// any string loader of this layer has to do.
int ToUtf8(const Units& units, char* out, int capacity) {
  char* const start = out;
  char* const end = out + capacity - 1;
  for (size_t i = 0; i < units.length; ++i) {
    uint32_t c = Unit(units.data + 2 * i);
    if (c < 0x80) {
      if (end - out < 1) break;
      *out++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.length) {
      uint32_t low = Unit(units.data + 2 * i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
    if (c < 0x800) {
      if (end - out < 2) break;
      *out++ = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      if (end - out < 3) break;
      *out++ = static_cast<char>(0xE0 | (c >> 12));
      *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      if (end - out < 4) break;
      *out++ = static_cast<char>(0xF0 | (c >> 18));
      *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  *out = '\0';
  return static_cast<int>(out - start);
}

// The floor's own ring, laid out as GetText's.
char g_floorPool[4096];
int g_floorOffset = 0;

char* FloorText(const Units& units) {
  char scratch[4096];
  int length = ToUtf8(units, scratch, sizeof scratch);
  if (g_floorOffset + length + 1 > 4096) g_floorOffset = 0;
  char* copy = g_floorPool + g_floorOffset;
  memcpy(copy, scratch, static_cast<size_t>(length) + 1);
  g_floorOffset += length + 1;
  return copy;
}

// Runs call in the benchmark's loop after one call outside it, and reports
// the allocations per call in the loop.
template <typename Call>
void MeasureWithAllocations(benchmark::State& state, Call call) {
  call();
  const long before = g_allocations.load();
  for (auto _ : state) benchmark::DoNotOptimize(call());
  const long after = g_allocations.load();
  state.counters["allocs"] = static_cast<double>(after - before) /
                             static_cast<double>(state.iterations());
}

// ---- Text ------------------------------------------------------------------

void BM_GetText(benchmark::State& state) {
  const auto id = static_cast<UINT>(state.range(0));
  MeasureWithAllocations(state, [&] { return Pemrik().GetText(id); });
}
BENCHMARK(BM_GetText)->Arg(128)->Arg(20385);

void BM_GetText_floor(benchmark::State& state) {
  const Units units =
      FindUnits(EditionModule(), static_cast<UINT>(state.range(0)));
  if (units.data == nullptr) return state.SkipWithError("no such string");
  for (auto _ : state) benchmark::DoNotOptimize(FloorText(units));
}
BENCHMARK(BM_GetText_floor)->Arg(128)->Arg(20385);

void BM_GetTextLine(benchmark::State& state) {
  MeasureWithAllocations(state, [&] {
    return Pemrik().GetTextLine(static_cast<UINT>(state.range(0)),
                                static_cast<int>(state.range(1)));
  });
}
BENCHMARK(BM_GetTextLine)->Args({20385, 2});

void BM_GetTextLine_floor(benchmark::State& state) {
  const Units units =
      FindUnits(EditionModule(), static_cast<UINT>(state.range(0)));
  if (units.data == nullptr) return state.SkipWithError("no such string");
  for (auto _ : state) {
    char* line = FloorText(units);
    for (int index = static_cast<int>(state.range(1)); index > 0; --index) {
      char* line_feed = strchr(line, '\n');
      if (line_feed == nullptr) break;
      line = line_feed + 1;
    }
    if (char* line_feed = strchr(line, '\n')) *line_feed = '\0';
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_GetTextLine_floor)->Args({20385, 2});

void BM_LoadText(benchmark::State& state) {
  char buffer[4096];
  MeasureWithAllocations(state, [&] {
    return Pemrik().LoadText(static_cast<UINT>(state.range(0)), buffer,
                             sizeof buffer);
  });
}
BENCHMARK(BM_LoadText)->Arg(279);

// The revision from the language library and the template from the edition,
// both found beforehand: converted and formatted.
void BM_LoadText_floor(benchmark::State& state) {
  const UINT id = static_cast<UINT>(state.range(0));
  HMODULE language = GetModuleHandleA("Varsel.dll");
  const Units revision_units = FindUnits(language, 3);
  const Units template_units = FindUnits(EditionModule(), id);
  if (revision_units.data == nullptr || template_units.data == nullptr)
    return state.SkipWithError("no language library or template");
  char buffer[4096];
  for (auto _ : state) {
    char revision_text[10];
    ToUtf8(revision_units, revision_text, sizeof revision_text);
    long revision = atol(revision_text);
    char address_template[256];
    ToUtf8(template_units, address_template, sizeof address_template);
    benchmark::DoNotOptimize(snprintf(buffer, sizeof buffer, address_template,
                                      static_cast<int>(revision)));
  }
}
BENCHMARK(BM_LoadText_floor)->Arg(279);

// ---- Resources -------------------------------------------------------------

void BM_LocateResource(benchmark::State& state) {
  LPCSTR name = MAKEINTRESOURCEA(state.range(0));
  LPCSTR type = MAKEINTRESOURCEA(state.range(1));
  for (auto _ : state)
    benchmark::DoNotOptimize(Pemrik().LocateResource(name, type));
}
BENCHMARK(BM_LocateResource)->Args({706, 5});

// One lookup in the module that has the resource.
void BM_LocateResource_floor(benchmark::State& state) {
  LPCWSTR name = MAKEINTRESOURCEW(state.range(0));
  LPCWSTR type = MAKEINTRESOURCEW(state.range(1));
  HMODULE edition = EditionModule();
  for (auto _ : state)
    benchmark::DoNotOptimize(FindResourceW(edition, name, type));
}
BENCHMARK(BM_LocateResource_floor)->Args({706, 5});

void BM_CopyResourceData(benchmark::State& state) {
  LPCSTR name = MAKEINTRESOURCEA(state.range(0));
  LPCSTR type = MAKEINTRESOURCEA(state.range(1));
  // Its one allocation, the block it hands over, shows that the count sees
  // what the module allocates.
  const long before = g_allocations.load();
  for (auto _ : state) {
    HGLOBAL block = Pemrik().CopyResourceData(name, type);
    benchmark::DoNotOptimize(block);
    GlobalFree(block);
  }
  state.counters["allocs"] =
      static_cast<double>(g_allocations.load() - before) /
      static_cast<double>(state.iterations());
}
BENCHMARK(BM_CopyResourceData)->Args({110, 2});

// One allocation and copy of the same bytes.
void BM_CopyResourceData_floor(benchmark::State& state) {
  HMODULE edition = EditionModule();
  HRSRC found = FindResourceW(edition, MAKEINTRESOURCEW(state.range(0)),
                              MAKEINTRESOURCEW(state.range(1)));
  const void* bytes = LockResource(LoadResource(edition, found));
  const size_t size = SizeofResource(edition, found);
  if (bytes == nullptr || size == 0) return state.SkipWithError("no resource");
  for (auto _ : state) {
    void* copy = malloc(size);
    memcpy(copy, bytes, size);
    benchmark::DoNotOptimize(copy);
    free(copy);
  }
}
BENCHMARK(BM_CopyResourceData_floor)->Args({110, 2});

// ---- Lookup against the number of resources --------------------------------

// A string in the last string block of a module of 13 or of 10,000 strings,
// at the same place in its block (entry 13), so that both do the same work
// once the block is found.
void BM_LoadStringA(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  HMODULE module = ModuleOfStrings(count);
  if (module == nullptr) return state.SkipWithError("no module of strings");
  const UINT id = static_cast<UINT>((count - 1) / 16 * 16 + 13);
  char buffer[4096];
  for (auto _ : state)
    benchmark::DoNotOptimize(LoadStringA(module, id, buffer, sizeof buffer));
}
BENCHMARK(BM_LoadStringA)->Arg(13)->Arg(10000);

// A string that the module does not have, as the language library is asked
// for nearly every string.
void BM_LoadStringA_missing(benchmark::State& state) {
  HMODULE module = ModuleOfStrings(static_cast<int>(state.range(0)));
  if (module == nullptr) return state.SkipWithError("no module of strings");
  char buffer[4096];
  for (auto _ : state)
    benchmark::DoNotOptimize(LoadStringA(module, 20385, buffer, sizeof buffer));
}
BENCHMARK(BM_LoadStringA_missing)->Arg(13)->Arg(10000);

// The dialog that follows the strings.
void BM_FindResourceA(benchmark::State& state) {
  HMODULE module = ModuleOfStrings(static_cast<int>(state.range(0)));
  if (module == nullptr) return state.SkipWithError("no module of strings");
  for (auto _ : state)
    benchmark::DoNotOptimize(
        FindResourceA(module, MAKEINTRESOURCEA(706), MAKEINTRESOURCEA(5)));
}
BENCHMARK(BM_FindResourceA)->Arg(13)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
