// Helpers for engine tests: dictionaries written through dictio, and a message recorder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dictionary_builder.h"
#include "zplatform/messages.h"

namespace enginetest {

using FieldDef = dictio::FieldSpec;
using TableDef = dictio::TableSpec;

// Writes a dictionary with these tables into `directory` (a code-page path; created).
int WriteDictionary(const std::string &directory, const std::vector<TableDef> &tables,
                    int first_field_id = 19);

// Installs a recording presenter for the duration of a test.
class RecordMessages {
 public:
  RecordMessages();
  ~RecordMessages();
  std::vector<std::string> Texts() const { return recorder_->Texts(); }
  zplatform::RecordingPresenter &Recorder() { return *recorder_; }

 private:
  std::shared_ptr<zplatform::RecordingPresenter> recorder_;
};

std::string NewDir(const std::string &name);

}  // namespace enginetest
