// The search.ini files that the fault tests spread over their folders, and
// every state that a patch may leave each of them in.
//
// The patch writes its four keys one after the other, and each write
// replaces the file whole. Whatever stops a run, a file is therefore its
// old content, or that content with the first k of its outdated keys
// patched, in order: no other bytes are possible.
#ifndef TESTS_FAULTS_SEARCH_INI_STATES_H_
#define TESTS_FAULTS_SEARCH_INI_STATES_H_

#include <filesystem>
#include <string>
#include <vector>

/// One file: what kind of file it is, and its states in the order the
/// patch goes through them: the old content first, the patched one last.
struct FileStates {
  std::string kind;
  std::vector<std::string> states;

  const std::string& old() const { return states.front(); }
  const std::string& patched() const { return states.back(); }
  /// The index of bytes among the states, or -1 when they are none of them.
  int IndexOf(const std::string& bytes) const;
};

/// The file of folder number: one of a few kinds (current, all or some
/// keys outdated, the section or keys missing, CR LF, LF, UTF-16), chosen by
/// the number, and with a comment naming the number, so that no two folders
/// hold the same bytes.
FileStates StatesOf(int number);

/// Folders numbered 0 to count - 1 below root, each holding the
/// search.ini of its number.
class SearchIniFolders {
 public:
  SearchIniFolders(const std::filesystem::path& root, int count);

  /// Writes every file back in its old state and removes anything else.
  void Reset() const;
  /// The folders' paths, in order.
  const std::vector<std::string>& paths() const { return paths_; }
  const FileStates& file(int number) const { return files_[number]; }
  std::filesystem::path Ini(int number) const;
  /// The number of files that are not current in their old state.
  int OutdatedCount() const;

  /// What the folders hold now.
  struct Survey {
    int patched = 0;                   ///< files in their patched state
    int between = 0;                   ///< files part of the way there
    int outdated = 0;                  ///< files in their old state, outdated
    std::vector<std::string> strange;  ///< files in no state of theirs
    int leftovers = 0;                 ///< entries other than search.ini
    std::vector<std::string> leftover_names;  ///< a few of them
  };
  Survey Look() const;

 private:
  std::vector<std::string> paths_;
  std::vector<FileStates> files_;
};

#endif  // TESTS_FAULTS_SEARCH_INI_STATES_H_
