// A host of Pemrik for the tests. Built against Pemrik.h alone, it binds the
// module's three exports (the object also by name, as Pemrik.h asks), runs
// the operations its arguments name, in order, and prints one line for each:
//   exports               fnPemrik(), nPemrik and the object's integer
//   text ID CAPACITY      LoadText's result and text, as "N:TEXT"
//   line ID INDEX         GetTextLine
//   locate NAME TYPE      the module LocateResource names: edition, host
//                         or none
//   copy NAME TYPE        CopyResourceData's block as "SIZE:BYTES", or null
//   host-string ID        the host executable's own string, as the platform
//                         loads it, as "N:TEXT"
//   place FROM TO         copies a file (a language library put in place)
//   language-loads        whether Pemrik holds "Varsel.dll" by one load
//                         ("once"), more ("more") or not at all ("absent");
//                         it releases Pemrik's reference, so it comes last
// A NAME or TYPE is "id:N" (an integer identifier), "a:TEXT" (8-bit text)
// or "w:TEXT" (16-bit text through the same pointer).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <string>

#include "Pemrik.h"

namespace {

using WideString = std::basic_string<WCHAR>;

LPCSTR ResourceName(const char* arg, WideString* wide) {
  if (strncmp(arg, "id:", 3) == 0) return MAKEINTRESOURCEA(atoi(arg + 3));
  if (strncmp(arg, "w:", 2) == 0) {
    for (const char* c = arg + 2; *c != '\0'; ++c) *wide += WCHAR(*c);
    return reinterpret_cast<LPCSTR>(wide->c_str());
  }
  return strncmp(arg, "a:", 2) == 0 ? arg + 2 : arg;
}

const char* ModuleName(HMODULE module) {
  if (module == nullptr) return "none";
  if (module == GetModuleHandleA("Pemrik.dll")) return "edition";
  if (module == GetModuleHandleA(nullptr)) return "host";
  return "other";
}

const char* LanguageLoads() {
  HMODULE language = GetModuleHandleA("Varsel.dll");
  if (language == nullptr) return "absent";
  FreeLibrary(language);
  return GetModuleHandleA("Varsel.dll") == nullptr ? "once" : "more";
}

}  // namespace

int main(int argc, char** argv) {
  // Bound by its exported name, so that every call goes through the table.
  auto* pemrik = reinterpret_cast<CPemrik0*>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("Pemrik.dll"), "g_Pemrik")));
  if (pemrik == nullptr) {
    fprintf(stderr, "g_Pemrik is not exported\n");
    return 3;
  }
  for (int i = 1; i < argc; ++i) {
    std::string command = argv[i];
    int operands = command == "exports" || command == "language-loads" ? 0
                   : command == "host-string"                          ? 1
                                                                       : 2;
    if (i + operands >= argc) {
      fprintf(stderr, "%s: missing operands\n", command.c_str());
      return 2;
    }
    const char* first = operands ? argv[i + 1] : nullptr;
    const char* second = operands > 1 ? argv[i + 2] : nullptr;
    i += operands;
    if (command == "exports") {
      printf("%d %d %d\n", fnPemrik(), nPemrik, g_Pemrik.m_nValue);
    } else if (command == "text") {
      int capacity = atoi(second);
      std::string buffer(capacity > 0 ? capacity : 0, '#');
      int length = pemrik->LoadText(atoi(first), buffer.data(), capacity);
      printf("%d:%s\n", length, buffer.c_str());
    } else if (command == "line") {
      printf("%s\n", pemrik->GetTextLine(atoi(first), atoi(second)));
    } else if (command == "locate") {
      WideString name, type;
      ResourceRef found = pemrik->LocateResource(ResourceName(first, &name),
                                                 ResourceName(second, &type));
      printf("%s\n", ModuleName(found.module));
    } else if (command == "copy") {
      WideString name, type;
      HGLOBAL block = pemrik->CopyResourceData(ResourceName(first, &name),
                                               ResourceName(second, &type));
      if (block == nullptr) {
        printf("null\n");
        continue;
      }
      int size = static_cast<int>(GlobalSize(block));
      printf("%d:%.*s\n", size, size, static_cast<char*>(GlobalLock(block)));
      GlobalUnlock(block);
      GlobalFree(block);
    } else if (command == "host-string") {
      char text[64];
      int length = LoadStringA(GetModuleHandleA(nullptr), atoi(first), text,
                               sizeof text);
      printf("%d:%s\n", length, text);
    } else if (command == "place") {
      std::error_code error;
      std::filesystem::copy_file(first, second, error);
      printf("%s\n", error ? error.message().c_str() : "placed");
    } else if (command == "language-loads") {
      printf("%s\n", LanguageLoads());
    } else {
      fprintf(stderr, "unknown command %s\n", command.c_str());
      return 2;
    }
  }
  return 0;
}
