#include "editor_ui.h"

#include <cstdarg>

#include "zplatform/codepage.h"
#include "zplatform/messages.h"

namespace dictedit {

bool ShowMessage(EditorUi &ui, bool ok_cancel, const char *format_utf8, ...) {
  va_list args;
  va_start(args, format_utf8);
  std::string text = zplatform::FormatCodePageV(format_utf8, args);
  va_end(args);
  return ui.Message(text, ok_cancel);
}

bool ShowText(EditorUi &ui, bool ok_cancel, const char *text_utf8) {
  return ui.Message(zplatform::FromUtf8(text_utf8), ok_cancel);
}

}  // namespace dictedit
