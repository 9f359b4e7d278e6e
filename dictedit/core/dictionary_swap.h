// Puts a dictionary written elsewhere in place of the one in a directory: its three files
// replace the old ones all together, or none of them does.
#pragma once

#include <string>

namespace dictedit {

// Moves FILE.DDF, FIELD.DDF and INDEX.DDF (those of them that `scratch` holds) from the
// directory `scratch` to `existing_names`' places (native paths, in that order). A file of the
// old dictionary is kept aside in `scratch` until all three are in place; when a move fails,
// the old files take their names back (a name that had no file has none again). On a server
// (`on_server`) the files move through the record manager. Returns 0, or the failed move's
// error: the system's error number, or the record manager's status on a server.
int SwapDictionaryFiles(const std::string &scratch, const std::string (&existing_names)[3],
                        bool on_server);

}  // namespace dictedit
