#ifndef PATCHER_SEARCH_INI_H_
#define PATCHER_SEARCH_INI_H_

/// Finds search.ini on a ';'-separated directory list and brings the four
/// address patterns of its [SEARCHDEF-YouTube] section up to date. True
/// when the file was written.
bool PatchSearchIni(const char* search_path_list);

#endif  // PATCHER_SEARCH_INI_H_
