// defpatch: brings the video site's search definitions of the host
// application's search.ini files up to date, for the directory lists given
// as arguments or, without arguments, for every installed copy.
#include <stdio.h>
#include <stdlib.h>

#include "installed_copies.h"
#include "search_ini.h"
#include "win32.h"

int main(int argc, char** argv) {
  // Key values compare as multibyte text of the ANSI code page.
  _setmbcp(_MB_CP_ANSI);
  printf("Patch search.ini for youtube\n");

  int changed = 0;
  if (argc > 1) {
    // Every argument is a directory list, whatever it looks like.
    for (int i = 1; i < argc; ++i) {
      if (PatchSearchIni(argv[i])) ++changed;
    }
  } else {
    changed = PatchInstalledCopies();
    if (changed == kUninstallKeyError) exit(1);
  }

  printf("%d files has been made patching successfully\n", changed);
  exit(changed > 0 ? 0 : 1);
}
