// Puts a dictionary written elsewhere in place of the one in a directory: its three files
// replace the old ones all together, or none of them does, even when the process saving it
// ends part-way (the next program that opens the dictionary finishes or undoes the save).
#pragma once

#include <functional>
#include <string>

namespace dictio {

// The scratch directories that saves make inside a dictionary's directory start so.
inline constexpr char kSaveScratchPrefix[] = ".dictedit-save-";

// Moves FILE.DDF, FIELD.DDF and INDEX.DDF (those of them that `scratch` holds) from the
// directory `scratch` to `existing_names`' places (native paths, in that order). A file of the
// old dictionary is kept aside in `scratch` until all three are in place; when a move fails,
// the old files take their names back (a name that had no file has none again). A note in
// `scratch` says which way the files are going, for a program that finds them there after
// this process ended. On a server (`on_server`) the files move through the record manager.
// Returns 0, or the failed move's error: the system's error number, or the record manager's
// status on a server. Hold the directory's exclusive lock throughout.
int SwapDictionaryFiles(const std::string &scratch, const std::string (&existing_names)[3],
                        bool on_server);

// The same, calling `before_step(n)` before each change to a file's name (n from 0); tests
// end the swap there to leave what a save interrupted at that point leaves.
int SwapDictionaryFilesStepwise(const std::string &scratch, const std::string (&existing_names)[3],
                                bool on_server, const std::function<void(int)> &before_step);

// The scratch directory of saves into a directory a server keeps: a server lists no
// directory, so it has a name others can find.
std::string ServerSaveScratch(const std::string &native_directory);

// A scratch directory in the directory of the dictionary in `code_page_directory`, into which
// a whole new dictionary is written before it takes the place of the old one. Dropping it
// removes it with what it still holds (close the files written there first). Hold the
// directory's exclusive lock while it lives.
class SaveScratch {
 public:
  explicit SaveScratch(const std::string &code_page_directory);
  ~SaveScratch();
  SaveScratch(const SaveScratch &) = delete;
  SaveScratch &operator=(const SaveScratch &) = delete;

  // 0, or the record manager's status that says why the directory could not be made (46
  // access denied, 18 disk full, 2 any other error).
  int error() const { return error_; }
  const std::string &path() const { return path_; }  // native
  // SwapDictionaryFiles from this directory to the dictionary's FILE.DDF, FIELD.DDF and
  // INDEX.DDF. A file of another spelling (file.ddf), which readers would find first, is the
  // one replaced. 0, or a status as error() gives it (a server's own status on a server).
  int PutInPlace() const;

 private:
  std::string code_page_directory_;
  std::string path_;
  bool on_server_ = false;
  int error_ = 0;
};

// One transaction around the records written into a scratch directory, begun after DDFOpen
// created its files and ended before DDFClose. Committed one by one, each record costs a
// commit of its own (some fifteen writes); nobody else sees the scratch files, and a save
// that fails throws them away, so nothing rides on those commits. When the transaction
// cannot begin, the records are committed one by one as before.
class ScratchTransaction {
 public:
  ScratchTransaction();
  ~ScratchTransaction();  // aborts unless Commit() ran
  ScratchTransaction(const ScratchTransaction &) = delete;
  ScratchTransaction &operator=(const ScratchTransaction &) = delete;

  // Ends the transaction: 0, or the record manager's status.
  int Commit();

 private:
  bool open_ = false;
};

// Writes a dictionary aside and puts it in place of the one in `code_page_directory` (none,
// usually) whole, or not at all. `write(scratch)` creates it in the code-page directory
// `scratch` (DDFOpen with the create flag, its records, DDFClose). Returns 0, what `write`
// returned, or the status of making the scratch directory or of the move (as
// SaveScratch::error() gives it). Hold the
// directory's exclusive lock, and finish saves left part-way (FinishInterruptedSaves) before
// deciding that no dictionary is there.
int PlaceNewDictionary(const std::string &code_page_directory,
                       const std::function<int(const std::string &scratch)> &write);

// Whether a save into `native_directory` may have ended part-way: locally any save's scratch
// directory, on a server a note in its scratch directory.
bool SaveScratchLeft(const std::string &native_directory);

// Finishes each save into `native_directory` that its process left part-way (or undoes it,
// when it was undoing itself), and removes what saves left in their scratch directories. Hold
// the directory's exclusive lock: a save under way holds it too. A move that fails leaves that
// scratch directory as it is, to be tried again.
void FinishInterruptedSaves(const std::string &native_directory);

}  // namespace dictio
