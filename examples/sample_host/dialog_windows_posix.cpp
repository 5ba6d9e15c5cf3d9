// The Linux build has no windows to show the dialogs in.
#include <stdio.h>

#include "dialog_windows.h"

bool ShowDialogs(CPemrik0&) {
  fprintf(stderr, "--show: the dialogs open in the Windows build only\n");
  return false;
}
