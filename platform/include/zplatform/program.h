// What every program of the system answers the same way: its version line, and whether a
// window can be shown at all.
#pragma once

#include <string>

namespace zplatform {

// An environment variable's text; empty when it is not set.
std::string EnvironmentText(const char *name);

// "NAME 3.0.0\n".
std::string VersionLine(const std::string &program);

// True when Qt can open a window: a platform plugin chosen by QT_QPA_PLATFORM that needs no
// display server, or a display named by DISPLAY or WAYLAND_DISPLAY.
bool CanShowWindows();

// The one line a window program prints instead of aborting without a display.
std::string NoDisplayLine(const std::string &program);

// A program's exit status once its standard output is flushed: when what it printed could
// not all be written (a full disk), it says so on standard error and fails with 1 (or the
// failing `status` it had), so a lost report never looks like a success.
int FinishOutput(const std::string &program, int status);

// Raises the process's soft limit on open files to its hard limit. An open data file takes
// five descriptors, so a form that opens every table of a dictionary of 200 reached the
// usual soft limit of 1,024 (status 86). For the system's own programs only, which use no
// select(); a library does not change its host's limits.
void RaiseOpenFileLimit();

}  // namespace zplatform
