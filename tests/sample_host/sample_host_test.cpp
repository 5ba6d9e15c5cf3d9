// The sample host's report, as printed by the host copied into a folder of
// its own with Pemrik (and, where a case asks, the language library). It
// must show every string, address and resource of the edition as the host
// receives them. The values themselves are checked field by field in
// tests/resource_set; here it is the report that must hold them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "run_program.h"
#include "scoped_temp_dir.h"

namespace {

namespace fs = std::filesystem;

// What every report shows, in ASCII: the same in every code page.
const char* const kEveryReport[] = {
    "      4  edition letter              \"d\"",
    "    100  product key below Software  \"Orvalle, inc.\\Ostrel13d\"",
    "    101  settings key                "
    "\"Software\\Orvalle, inc.\\Ostrel13d\\Settings\"",
    "    102  maker's key                 \"Software\\Orvalle, inc.\"",
    "    137  internal product name       \"Ostrel13d\"",
    "   9144  display name and version    \"Fennagle 7\"",
    "  57344  application title           \"Fennagle\"",
    "  20365  command text line 0",
    "  20365               line 1",
    "  20385  command text line 0",
    "  20385               line 1",
    "  20385               line 2",
    "    283  update script               "
    "\"https://www.orvalle.example/fennagle/updater.php?pemrik=\"",
    "Dialog 706, the browser dialog (type 5): in Pemrik,",
    "  size     314 x 146 dialog units at 0, 0",
    "  font     \"MS Shell Dlg\", 8 points, weight 400, not italic, "
    "character set 1",
    "  7 controls, in tab order:",
    "     2364  ToolbarWindow32  5, 5, 94, 16      0x50019D6E \"\"",
    "     1101  button           5, 22, 60, 14     0x40010000",
    "Dialog 10100, the about box (type 5): in Pemrik,",
    "  size     251 x 122 dialog units at 0, 0",
    "     2120  static           5, 10, 20, 20     0x50000003 resource 128",
    "        1  button           205, 5, 40, 14    0x50030001 \"OK\"",
    "Bitmap 110, the title picture (type 2): in Pemrik, 86928 bytes",
    "  400 x 300 pixels, stored bottom-up, 8 bits per pixel, 1 plane",
    "  decoded: 120000 pixels (400 x 300), 256 palette colours in use",
    "Version block 1 (type 16): in Pemrik,",
    "  file version 13.0.5.0, product version 13.0.5.0",
    "    OriginalFilename  \"Pemrik.dll\"",
    "  translation: language 0x0411, code page 1200",
    "Manifest 2 (type 24): in Pemrik,",
    "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
};

// The Japanese texts, in the Linux build's code page (UTF-8).
const char* const kJapanese[] = {
    "  20365  command text line 0      \"今すぐダウンロードします\"",
    "  20385               line 2      \"取込\"",
    "  caption  \"ブラウザ\"",
    "  caption  \"Fennagle 7のバージョン情報\"",
    "\"ここにリンクを\\r\\nドロップしてください\" (hidden)",
};

class SampleHostTest : public testing::Test {
 protected:
  // Copies the host and Pemrik (and a language library, when given) into
  // a folder and runs the host there.
  ProgramResult Run(const char* language_library,
                    const std::vector<std::string>& arguments = {}) {
    const fs::path host = fs::path(SAMPLE_HOST).filename();
    fs::copy_file(SAMPLE_HOST, temp_.path() / host);
    fs::copy_file(PEMRIK, temp_.path() / fs::path(PEMRIK).filename());
    if (language_library != nullptr) {
      fs::copy_file(language_library,
                    temp_.path() / fs::path(language_library).filename());
    }
    return RunProgram((temp_.path() / host).string(), arguments,
                      temp_.path().string());
  }

  ScopedTempDir temp_;
};

void ExpectLines(const std::string& report, const char* const* begin,
                 const char* const* end) {
  for (const char* const* line = begin; line != end; ++line)
    EXPECT_NE(std::string::npos, report.find(*line)) << *line;
}

TEST_F(SampleHostTest, ReportShowsEveryStringAddressAndResource) {
  ProgramResult run = Run(nullptr);
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("", run.err);
  SCOPED_TRACE(run.out);
  ExpectLines(run.out, std::begin(kEveryReport), std::end(kEveryReport));
#ifndef _WIN32
  ExpectLines(run.out, std::begin(kJapanese), std::end(kJapanese));
#endif
  const char* const edition[] = {
      "    128  display name                \"Fennagle\"",
      "  language library Varsel.dll: not found",
      "  revision: none: Pemrik takes 5",
      "fennagleopening.html#OSTREL13D;REV05;\"",
      "fennagleopening.html#OSTREL13D;TITLE;REV05;\"",
  };
  ExpectLines(run.out, std::begin(edition), std::end(edition));
}

// With a language library beside it, the host shows what it then receives:
// the library's display name and its revision in the addresses.
TEST_F(SampleHostTest, ReportShowsTheLanguageLibrarysStringsAndRevision) {
  ProgramResult run = Run(VARSEL_REV12);
  ASSERT_EQ(0, run.status) << run.err;
  SCOPED_TRACE(run.out);
  ExpectLines(run.out, std::begin(kEveryReport), std::end(kEveryReport));
  const char* const language[] = {
      "    128  display name                \"Varsel name\"",
      "  language library Varsel.dll: loaded",
      "  revision: \"12\", string 3 of Varsel.dll",
      "fennagleopening.html#OSTREL13D;REV12;\"",
      "fennagleopening.html#OSTREL13D;TITLE;REV12;\"",
  };
  ExpectLines(run.out, std::begin(language), std::end(language));
}

TEST_F(SampleHostTest, WithoutPemrikBesideItTheHostSaysSoAndFails) {
  const fs::path host = fs::path(SAMPLE_HOST).filename();
  fs::copy_file(SAMPLE_HOST, temp_.path() / host);
  ProgramResult run =
      RunProgram((temp_.path() / host).string(), {}, temp_.path().string());
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("", run.out);
  EXPECT_NE(std::string::npos,
            run.err.find("Pemrik.dll cannot be loaded from the host's folder"))
      << run.err;
}

TEST_F(SampleHostTest, UnknownOptionIsRefused) {
  ProgramResult run = Run(nullptr, {"--bogus"});
  EXPECT_EQ(2, run.status);
  EXPECT_EQ("", run.out);
  EXPECT_NE(std::string::npos, run.err.find("usage: sample_host [--show]"));
}

}  // namespace
