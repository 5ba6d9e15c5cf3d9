// Placeholder: implemented in its own change.
#include "win32.h"
