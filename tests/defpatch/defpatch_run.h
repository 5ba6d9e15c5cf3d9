// Running the built defpatch and reading what it printed.
#ifndef TESTS_DEFPATCH_DEFPATCH_RUN_H_
#define TESTS_DEFPATCH_DEFPATCH_RUN_H_

#include <string>
#include <vector>

#include "run_program.h"

// The runtime's text mode ends lines with CR LF on Windows.
#ifdef _WIN32
#define EOL "\r\n"
#else
#define EOL "\n"
#endif

inline ProgramResult RunDefpatch(const std::vector<std::string>& arguments,
                                 const std::string& directory = "") {
  return RunProgram(DEFPATCH_EXE, arguments, directory);
}

/// What a run that patched count files prints.
inline std::string Summary(int count) {
  return "Patch search.ini for youtube" EOL + std::to_string(count) +
         " files has been made patching successfully" EOL;
}

/// A search.ini of the host application with the video site's old
/// addresses, and the same file brought up to date.
inline constexpr char kOutdatedSearchIni[] =
    "[SEARCHDEF-Vimeo]\r\n"
    "query/url=https://vimeo.com/search?q=[QUERY:UTF8]\r\n"
    "[SEARCHDEF-YouTube]\r\n"
    "name=YouTube\r\n"
    "query/url=http://www.youtube.com/results?search_query=[QUERY:UTF8]\r\n"
    "res2/url=www.youtube.com/results?(*&)search_type=*\r\n"
    "nextpage1=www.youtube.com/results?(*&)page=*\r\n"
    "nextpage2=www.youtube.com/results?(*&)search_query=*&page=*\r\n"
    "maxpages=5\r\n";
inline constexpr char kCurrentSearchIni[] =
    "[SEARCHDEF-Vimeo]\r\n"
    "query/url=https://vimeo.com/search?q=[QUERY:UTF8]\r\n"
    "[SEARCHDEF-YouTube]\r\n"
    "name=YouTube\r\n"
    "query/url=https://www.youtube.com/results?search_query=[QUERY:UTF8]\r\n"
    "res2/url=www.youtube.com/results?(*&)sp=*\r\n"
    "nextpage1=www.youtube.com/results?(*&)search_query=*\r\n"
    "nextpage2=www.youtube.com/results?(*&)sp=*\r\n"
    "maxpages=5\r\n";

#endif  // TESTS_DEFPATCH_DEFPATCH_RUN_H_
