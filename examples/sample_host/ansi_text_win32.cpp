// The system's conversion, as LoadStringA converts the strings.
#include <windows.h>

#include "ansi_text.h"

std::string AnsiFromUtf16(const std::u16string& text) {
  if (text.empty()) return std::string();
  const auto* units = reinterpret_cast<const wchar_t*>(text.data());
  int length = static_cast<int>(text.size());
  int size = WideCharToMultiByte(CP_ACP, 0, units, length, nullptr, 0, nullptr,
                                 nullptr);
  std::string ansi(size > 0 ? size : 0, '\0');
  if (size > 0)
    WideCharToMultiByte(CP_ACP, 0, units, length, ansi.data(), size, nullptr,
                        nullptr);
  return ansi;
}
