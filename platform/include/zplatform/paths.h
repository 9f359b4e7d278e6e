// Paths and files. Paths given to and returned by these functions are texts in the ANSI
// code page, as the system's callers hold them; they may use "\" as a separator, a drive
// letter ("C:\...") or a UNC prefix ("\\server\share\..."). Drive letters and UNC prefixes
// are mapped through section [path_map] of zelko.ini ("c:=/srv/c", "\\server\share=/mnt/s").
#pragma once

#include <optional>
#include <string>

namespace zplatform {

// Result of a file operation: ok, or the operating system's error code (errno).
struct FileResult {
  bool ok = true;
  int os_error = 0;
  static FileResult Success() { return {}; }
  static FileResult Failure(int err) { return {false, err}; }
};

// The operating system's text for an error code, UTF-8.
std::string OsErrorText(int os_error);

// The native (UTF-8, "/"-separated) path for a code-page path. "\" becomes "/"; a drive
// letter or UNC prefix is replaced by its [path_map] entry (unmapped: nullopt, "file not
// found"); a name that does not exist as written is looked up component by component
// without regard to case. Components that do not exist at all are kept as written.
std::optional<std::string> NativePath(const std::string &code_page_path);

// NativePath, or the path with only its separators converted when it cannot be mapped.
std::string NativePathOrSelf(const std::string &code_page_path);

// The short form of a path: its canonical absolute path (code page); nullopt when the
// path or its directory does not exist.
std::optional<std::string> ShortPathName(const std::string &code_page_path);

// True when the path names an existing file or directory.
bool FileExists(const std::string &code_page_path);

// Copies a file; with fail_if_exists an existing target gives EEXIST.
FileResult CopyFile(const std::string &from, const std::string &to, bool fail_if_exists);

// Moves (renames) a file; an existing target is not replaced (EEXIST). Across file systems
// the file is copied and the original removed.
FileResult MoveFile(const std::string &from, const std::string &to);

// Deletes a file.
FileResult DeleteFile(const std::string &code_page_path);

// Native-path helpers used inside the platform layer and the libraries.
// The whole file, or nullopt when it cannot be opened or a read fails.
std::optional<std::string> ReadWholeFile(const std::string &native_path);
// Writes `content` beside the target and renames it over the target (fsync first), so a
// write cut short (a full disk) leaves the former file whole. A replaced file keeps its
// permission bits and, where the caller may, its group; a new one gets 0666 less the umask.
FileResult ReplaceFileAtomically(const std::string &native_path, const std::string &content);
// As ReplaceFileAtomically; but where the directory may not be written and the file may, the
// file is written over in place, as any editor would (the user may change the file, only not
// make one beside it). Such a write cut short leaves the file cut.
FileResult ReplaceFileContent(const std::string &native_path, const std::string &content);
// Creates a directory and its parents (native path).
bool EnsureDirectory(const std::string &native_path);
// Gives `new_file` the permission bits and, where the caller may, the group of `old_file`
// (native paths; nothing when `old_file` is not there), so that a file several users share
// stays theirs to write after one of them replaced it.
void KeepAccessOf(const std::string &old_file, const std::string &new_file);
// Gives a file made by a library that always makes 0644 (SQLite) the permissions a program's
// new file gets: 0666 less the process's umask, so a umask of 002 shares it with the group.
void GiveNewFileAccess(const std::string &new_file);

}  // namespace zplatform
