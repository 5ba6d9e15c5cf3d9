#ifndef PATCHER_INSTALL_LOCATION_H_
#define PATCHER_INSTALL_LOCATION_H_

#include <functional>
#include <string>

/// Whether path names an existing directory, as the file system reports its
/// attributes.
bool IsDirectory(const char* path);

/// The directory test that the cleanup applies; tests give their own.
using DirectoryTest = std::function<bool(const char*)>;

/// Turns a free-form install location (a folder, several folders joined by
/// ';', a quoted command line, a path with arguments) into a ';'-separated
/// list of existing directories. False, with location unchanged, when it
/// names none. A location that names a directory as a whole stays as it is.
bool CleanInstallLocation(std::string& location,
                          const DirectoryTest& is_directory = IsDirectory);

#endif  // PATCHER_INSTALL_LOCATION_H_
