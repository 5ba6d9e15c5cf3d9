// The edition's dialogs as windows, created from their templates.
#ifndef EXAMPLES_SAMPLE_HOST_DIALOG_WINDOWS_H_
#define EXAMPLES_SAMPLE_HOST_DIALOG_WINDOWS_H_

#include "Pemrik.h"

/// Creates dialogs 706 and 10100 from the templates that CopyResourceData
/// hands out, with the host's own instance (icon 128 of the about box is
/// the host's), prints how their controls are laid out and runs until both
/// are closed. False when a dialog cannot be created, or where there are no
/// windows (the Linux build).
bool ShowDialogs(CPemrik0& pemrik);

#endif  // EXAMPLES_SAMPLE_HOST_DIALOG_WINDOWS_H_
