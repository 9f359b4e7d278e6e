// Data-source controls hosted without a form: a program with no windows (a C program, a
// script) makes one under a form name and a control name, and attaches and drives it through
// the flat exports exactly as a control on a form.
#pragma once

#include <string>

namespace zelko {

// 0; -1 (names empty or already hosted, or the dictionary did not load); -21 empty directory.
// Names and directory are code-page texts.
int HostDataSource(const std::string &form_name, const std::string &control_name,
                   const std::string &ddf_dir);
// 0, or -11 when no such source is hosted.
int ReleaseDataSource(const std::string &form_name, const std::string &control_name);
// Releases every hosted source (unload, tests).
void ReleaseAllDataSources();

}  // namespace zelko
