// The Win32 subset that defpatch and Pemrik call. On Windows it is the
// system's own; on Linux the declarations below are implemented in posix/,
// one file per service, with the meanings the components rely on:
//   text is UTF-8 (the ANSI code page of the Linux build),
//   Windows-form paths are mapped through the Wine prefix ($WINEPREFIX,
//   default ~/.wine) as Wine maps them, Unix paths are used as they are,
//   the registry is the prefix's system.reg, read only, in a 32-bit view,
//   a lock of a file holds its folder against other processes,
//   modules are shared objects carrying their own compiled .res data.
#ifndef PLATFORM_WIN32_H_
#define PLATFORM_WIN32_H_

#ifdef _WIN32

#include <mbctype.h>
#include <mbstring.h>
#include <stdio.h>
#include <windows.h>

// <mbctype.h> defines _M1 and _M2, names that libstdc++'s <type_traits>
// gives template parameters; nothing here uses the two masks.
#undef _M1
#undef _M2

// The SDK's winnt.h has it; MinGW's has only DECLSPEC_IMPORT.
#ifndef DECLSPEC_EXPORT
#define DECLSPEC_EXPORT __declspec(dllexport)
#endif

#else  // Linux

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#ifdef __cplusplus
extern "C" {
#endif

// Basic types, with the sizes of the Windows ABI where they cross it.
typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef uintptr_t ULONG_PTR;
typedef size_t SIZE_T;
typedef char16_t WCHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* LPVOID;
typedef void* HANDLE;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef DWORD REGSAM;

#define TRUE 1
#define FALSE 0
#define WINAPI
#define APIENTRY
#define DECLSPEC_EXPORT __attribute__((visibility("default")))
#define DECLSPEC_IMPORT __attribute__((visibility("default")))

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HRSRC__* HRSRC;
typedef void* HGLOBAL;
typedef void (*FARPROC)(void);

// ---- Multibyte text (posix/mbstring.cpp) ----------------------------------
// UTF-8 needs no lead-byte handling: these are the byte-wise operations.
#define _MB_CP_ANSI (-3)
int _setmbcp(int codepage);
int _mbscmp(const unsigned char* a, const unsigned char* b);
unsigned char* _mbschr(const unsigned char* text, unsigned int c);
LPSTR lstrcpyA(LPSTR dest, LPCSTR src);
#define _TRUNCATE ((size_t)-1)
int _snprintf_s(char* buffer, size_t size, size_t count, const char* format,
                ...) __attribute__((format(printf, 4, 5)));

// ---- Profile files (posix/profile.cpp) ------------------------------------
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value,
                               LPSTR buffer, DWORD size, LPCSTR file);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                LPCSTR file);

// ---- Paths and files (posix/paths.cpp) ------------------------------------
#define FILE_ATTRIBUTE_READONLY 0x01
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_NORMAL 0x80
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define MAX_PATH 260
DWORD SearchPathA(LPCSTR path, LPCSTR file, LPCSTR extension, DWORD size,
                  LPSTR buffer, LPSTR* file_part);
DWORD GetFileAttributesA(LPCSTR path);

// ---- Open files and their locks (posix/files.cpp) -------------------------
#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 0x01
#define FILE_SHARE_WRITE 0x02
#define FILE_SHARE_DELETE 0x04
#define OPEN_EXISTING 3
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define LOCKFILE_EXCLUSIVE_LOCK 0x02
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;  // where a locked range starts
  DWORD OffsetHigh;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share,
                   LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE template_file);
BOOL LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD count_low,
                DWORD count_high, LPOVERLAPPED overlapped);
BOOL UnlockFileEx(HANDLE file, DWORD reserved, DWORD count_low,
                  DWORD count_high, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE object);

// ---- Registry (posix/registry.cpp) ----------------------------------------
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002)
#define KEY_READ 0x20019
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_MORE_DATA 234L
LONG RegOpenKeyExA(HKEY parent, LPCSTR subkey, DWORD options, REGSAM access,
                   PHKEY result);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type,
                      LPBYTE data, LPDWORD size);
LONG RegCloseKey(HKEY key);

// ---- Modules (posix/modules.cpp) ------------------------------------------
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
HMODULE LoadLibraryA(LPCSTR name);
HMODULE LoadLibraryExA(LPCSTR name, HANDLE reserved, DWORD flags);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
HMODULE GetModuleHandleA(LPCSTR name);

// ---- Resources (posix/resources.cpp) --------------------------------------
#define IS_INTRESOURCE(p) (((ULONG_PTR)(p) >> 16) == 0)
#define MAKEINTRESOURCEA(i) ((LPSTR)(ULONG_PTR)(WORD)(i))
#define MAKEINTRESOURCEW(i) ((LPWSTR)(ULONG_PTR)(WORD)(i))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_ICON MAKEINTRESOURCEA(3)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_GROUP_ICON MAKEINTRESOURCEA(14)
#define RT_VERSION MAKEINTRESOURCEA(16)
#define RT_MANIFEST MAKEINTRESOURCEA(24)
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL loaded);
int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int capacity);

// ---- Global memory (posix/global_memory.cpp) ------------------------------
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
HGLOBAL GlobalAlloc(UINT flags, SIZE_T size);
LPVOID GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
SIZE_T GlobalSize(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // _WIN32

#endif  // PLATFORM_WIN32_H_
