// dictedit --macro FILE [DIR]: runs the editor's windows from a script, one statement a line,
// and exits; with the offscreen platform it needs no display. Statements:
//   menu "TEXT" | menu "MENU/TEXT"     a menu command (the menu named where TEXT repeats)
//   open table NAME | activate NAME    a table view from the list, or one already open
//   select field N | select index N    the current row of a grid (grid rows from 1)
//   dialog LABEL = VALUE               a field of the next dialog; dialog button TEXT
//   answer OK|Cancel|Yes|No            the next question's answer
//   file PATH | text VALUE | choose ENTRY   the next file dialog, text question, choice
//   print grid fields|index ROW COL | print title | print list | print status |
//   print modified | print enabled "TEXT"
//   screenshot FILE.png                the print preview when one is open, else the window
// Lines starting with ' or # are comments. Messages shown are printed as "message TEXT".
#pragma once

#include <string>

namespace dictedit {

class MainWindow;

// Runs the statements of `path`; 0, or 1 after a statement that failed (reported on stderr).
int RunEditorMacro(MainWindow &window, const std::string &path);

}  // namespace dictedit
