// Pemrik, the edition resource module: what a host includes to bind it.
//
// The module exports one interface object, g_Pemrik, whose operations find
// resources and strings in a fixed chain of modules: the language library
// "Varsel.dll", the edition module itself and the host executable.
//
// A host calls the operations through the object's operation table, the
// only part of its class that the module exports. So it binds the object by
// its exported name, GetProcAddress(module, "g_Pemrik"), and calls through
// that pointer: a compiler that can trace a call to g_Pemrik itself knows
// the object's class and calls CPemrik's members directly, which no host
// can link. fnPemrik and nPemrik are used as declared.
#ifndef EDITION_PEMRIK_H_
#define EDITION_PEMRIK_H_

#include "win32.h"

#ifdef PEMRIK_BUILDING_MODULE
#define PEMRIK_API DECLSPEC_EXPORT
#else
#define PEMRIK_API DECLSPEC_IMPORT
#endif

/// Where a resource was found: the module and the resource's handle in it,
/// both null when it was found nowhere.
struct ResourceRef {
  HMODULE module;
  HRSRC resource;
};

/// The operations of the interface object, in the order of its table.
/// Names and types are text (8-bit, or 16-bit passed through the same
/// pointer) or integer identifiers (MAKEINTRESOURCE).
struct CPemrik0 {
  /// Finds a resource in the edition module, then in the host module.
  virtual ResourceRef LocateResource(LPCSTR name, LPCSTR type) = 0;
  /// The loaded resource that LocateResource finds (for LockResource).
  virtual HGLOBAL LoadResourceData(LPCSTR name, LPCSTR type) = 0;
  /// A copy of the resource's bytes in a movable global block of exactly
  /// its size, unlocked; the caller owns it and frees it with GlobalFree.
  virtual HGLOBAL CopyResourceData(LPCSTR name, LPCSTR type) = 0;
  /// Copies string id into buffer (at most capacity - 1 bytes, always
  /// terminated) and returns its length; 0 when it is found nowhere.
  virtual int LoadText(UINT id, LPSTR buffer, int capacity) = 0;
  /// String id, copied into the module's ring of text; never null.
  virtual LPSTR GetText(UINT id) = 0;
  /// Line index (from 0) of string id, terminated in the ring; never null.
  virtual LPSTR GetTextLine(UINT id, int index) = 0;
};

/// The class of the exported object. A host may derive from it to replace
/// operations: the others reach them through the table.
struct CPemrik : CPemrik0 {
  ResourceRef LocateResource(LPCSTR name, LPCSTR type) override;
  HGLOBAL LoadResourceData(LPCSTR name, LPCSTR type) override;
  HGLOBAL CopyResourceData(LPCSTR name, LPCSTR type) override;
  int LoadText(UINT id, LPSTR buffer, int capacity) override;
  LPSTR GetText(UINT id) override;
  LPSTR GetTextLine(UINT id, int index) override;

  /// Fixed at 4 when the module is built; the module never reads it.
  int m_nValue = 4;
};

// The object is its table pointer and the integer, nothing more.
static_assert(sizeof(void*) != 4 || sizeof(CPemrik) == 8,
              "CPemrik must be 8 bytes on 32-bit x86");

/// The interface object.
PEMRIK_API extern CPemrik g_Pemrik;
/// Always 42.
PEMRIK_API int fnPemrik();
/// 0; nothing in the module changes it.
PEMRIK_API extern int nPemrik;

#endif  // EDITION_PEMRIK_H_
