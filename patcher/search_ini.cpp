#include "search_ini.h"

#include <string>

#include "profile_section.h"
#include "win32.h"

namespace {

#define VIDEO_SITE_HOST "www.youtube.com"

// The video site's address scheme, in the order the keys are written.
constexpr struct {
  const char* key;
  const char* value;
} kNewValues[] = {
    {"query/url",
     "https://" VIDEO_SITE_HOST "/results?search_query=[QUERY:UTF8]"},
    {"res2/url", VIDEO_SITE_HOST "/results?(*&)sp=*"},
    {"nextpage1", VIDEO_SITE_HOST "/results?(*&)search_query=*"},
    {"nextpage2", VIDEO_SITE_HOST "/results?(*&)sp=*"},
};

// The full path of the first search.ini on the list, or empty text.
std::string FindSearchIni(const char* search_path_list) {
  std::string path(MAX_PATH, '\0');
  LPSTR file_part;
  DWORD n = SearchPathA(search_path_list, "search.ini", nullptr, path.size(),
                        path.data(), &file_part);
  if (n >= path.size()) {
    // Too long for the buffer: n is the size the path needs. Search again
    // with that much room rather than use a buffer that was not filled.
    path.resize(n);
    n = SearchPathA(search_path_list, "search.ini", nullptr, path.size(),
                    path.data(), &file_part);
    if (n >= path.size()) n = 0;
  }
  path.resize(n);
  return path;
}

}  // namespace

bool PatchSearchIni(const char* search_path_list) {
  const std::string path = FindSearchIni(search_path_list);
  if (path.empty()) return false;

  CProfileSection profile(path.c_str());
  profile.SetSection("SEARCHDEF-YouTube");
  for (const auto& entry : kNewValues) {
    profile.WriteIfDifferent(profile.section().c_str(), entry.key, entry.value);
  }
  return profile.IsChanged();
}
