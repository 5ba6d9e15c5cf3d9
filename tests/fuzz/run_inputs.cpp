// Runs a fuzz target over its committed inputs, without a fuzzer: every
// file of each folder named on the command line, in name order. This is the
// test that keeps the seeds and every input that once found a fault passing.
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
    return 2;
  }
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (!fs::is_directory(argv[i], error)) {
      fprintf(stderr, "%s: no such folder\n", argv[i]);
      return 1;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(argv[i])) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(in),
                              std::istreambuf_iterator<char>()};
      fprintf(stderr, "%s (%zu bytes)\n", file.c_str(), bytes.size());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()),
                             bytes.size());
      ++count;
    }
  }
  // Folders without inputs would make this a test that cannot fail.
  if (count == 0) {
    fprintf(stderr, "no inputs found\n");
    return 1;
  }
  printf("%zu inputs passed\n", count);
  return 0;
}
