// A host of Pemrik built against an installed tree and nothing else: it
// binds the exports as a host does and prints what it receives.
#include <stdio.h>

#include "Pemrik.h"

int main() {
  HMODULE module = LoadLibraryA("Pemrik.dll");  // libPemrik.so on Linux
  if (module == nullptr) {
    printf("Pemrik cannot be loaded\n");
    return 1;
  }
  auto* pemrik = reinterpret_cast<CPemrik0*>(
      reinterpret_cast<void*>(GetProcAddress(module, "g_Pemrik")));
  if (pemrik == nullptr) {
    printf("g_Pemrik is not exported\n");
    return 1;
  }
  printf("%s\n", pemrik->GetText(128));
  printf("%s\n", pemrik->GetTextLine(20385, 2));
  HGLOBAL picture = pemrik->CopyResourceData(MAKEINTRESOURCEA(110), RT_BITMAP);
  printf("picture of %zu bytes\n", static_cast<size_t>(GlobalSize(picture)));
  GlobalFree(picture);
  printf("fnPemrik %d, nPemrik %d\n", fnPemrik(), nPemrik);
  return 0;
}
