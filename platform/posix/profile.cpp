// Placeholder: implemented in its own change.
#include "win32.h"
DWORD GetPrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR, LPSTR buffer, DWORD size, LPCSTR) { if (size) buffer[0] = 0; return 0; }
BOOL WritePrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR, LPCSTR) { return FALSE; }
