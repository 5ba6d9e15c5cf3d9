#ifndef PATCHER_INSTALLED_COPIES_H_
#define PATCHER_INSTALLED_COPIES_H_

/// What PatchInstalledCopies returns when the Uninstall key cannot be opened.
constexpr int kUninstallKeyError = -1;

/// Patches the search.ini of every installed copy registered under the
/// Uninstall key by one of the host application's product codes. Returns the
/// number of files changed, or kUninstallKeyError after writing
/// "key open error" when the Uninstall key cannot be opened.
int PatchInstalledCopies();

#endif  // PATCHER_INSTALLED_COPIES_H_
