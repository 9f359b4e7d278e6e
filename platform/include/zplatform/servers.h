// Directories kept on a server: zelko.ini section [servers], each key an absolute directory,
// its value a libpq connection string ("/srv/shop = host=db1 dbname=shop"). A path in such a
// directory or below belongs to that server (the longest matching directory wins); such a
// directory need not exist on this machine.
#pragma once

#include <string>
#include <vector>

namespace zplatform {

// An absolute path (relative ones are taken from the working directory) with "." and ".."
// resolved by name and no repeated separators. Native (UTF-8) paths.
std::string LexicallyAbsolute(const std::string &native_path);

// The connection string of the server a native path belongs to; empty when none does.
std::string ServerFor(const std::string &native_path);

// The [servers] entries that name no server, each in a sentence for the user ("zelko.ini
// [servers]: "srv/shop" is no absolute directory, so it names no server"): their directories
// stay on this machine's disk, so the command-line tools warn.
std::vector<std::string> IgnoredServerEntries();

// Makes a native directory and its parents on this machine, unless a server keeps it: there
// it is a name only. A directory that cannot be made fails what is done in it afterwards.
void MakeDirectoryHere(const std::string &native_directory);

}  // namespace zplatform
