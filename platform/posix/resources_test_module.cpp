// A library with resources of its own, loaded by the platform tests.
#include "win32.h"

extern "C" DECLSPEC_EXPORT int ResTestAnswer() { return 7; }
