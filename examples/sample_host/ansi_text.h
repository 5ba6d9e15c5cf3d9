// Texts of the resource templates (16-bit) in the form the host prints all
// its text: the system's ANSI code page, as Pemrik hands out its strings.
#ifndef EXAMPLES_SAMPLE_HOST_ANSI_TEXT_H_
#define EXAMPLES_SAMPLE_HOST_ANSI_TEXT_H_

#include <string>

/// text in the ANSI code page; a character that the code page lacks becomes
/// the platform's replacement character.
std::string AnsiFromUtf16(const std::u16string& text);

#endif  // EXAMPLES_SAMPLE_HOST_ANSI_TEXT_H_
