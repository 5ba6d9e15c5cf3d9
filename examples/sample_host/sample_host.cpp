// A sample host of Pemrik: it loads the module as the host application
// does, binds g_Pemrik by its exported name and prints a report of
// everything the edition hands out: its strings, the formatted addresses,
// its dialogs, title picture, version block and manifest, decoded.
//
//   sample_host          prints the report
//   sample_host --show   prints it, then opens dialogs 706 and 10100 as
//                        windows (Windows only) until both are closed
//
// Pemrik.dll (libPemrik.so on Linux) has to lie in the host's folder, and
// so does the language library Varsel.dll where there is one.
#include <stdio.h>
#include <string.h>

#include "Pemrik.h"
#include "dialog_windows.h"
#include "report.h"

int main(int argc, char** argv) {
  bool show = argc == 2 && strcmp(argv[1], "--show") == 0;
  if (argc > 2 || (argc == 2 && !show)) {
    fprintf(stderr, "usage: sample_host [--show]\n");
    return 2;
  }
  // From the host's own folder (and the system's), never from the current
  // folder or the PATH, where anyone could plant a library of that name.
  HMODULE edition =
      LoadLibraryExA("Pemrik.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  if (edition == nullptr) {
    fprintf(stderr, "Pemrik.dll cannot be loaded from the host's folder\n");
    return 1;
  }
  // Bound by its name, so that every call goes through the object's table
  // (see Pemrik.h).
  auto* pemrik = reinterpret_cast<CPemrik0*>(
      reinterpret_cast<void*>(GetProcAddress(edition, "g_Pemrik")));
  if (pemrik == nullptr) {
    fprintf(stderr, "Pemrik.dll does not export g_Pemrik\n");
    return 1;
  }
  printf("Pemrik loaded from the host's folder, g_Pemrik bound by name.\n\n");
  bool complete = PrintReport(*pemrik, edition, stdout);
  fflush(stdout);
  if (show && !ShowDialogs(*pemrik)) return 1;
  return complete ? 0 : 1;
}
