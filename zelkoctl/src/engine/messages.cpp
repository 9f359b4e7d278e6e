#include "messages.h"

#include <cstdarg>

#include "zplatform/messages.h"

namespace zelko {

void ShowMessage(const char *format_utf8, ...) {
  va_list args;
  va_start(args, format_utf8);
  zplatform::MessageRequest request;
  request.text = zplatform::FormatCodePageV(format_utf8, args);
  va_end(args);
  request.icon = zplatform::MessageIcon::kWarning;
  zplatform::MessageService::Instance().Show(request);
}

}  // namespace zelko
