#include "messages.h"

#include <cstdarg>
#include <utility>

#include "zplatform/messages.h"

namespace zelko {

const char *MessageByNumber(int number) {
  static const std::pair<int, const char *> kTable[] = {
      {1, msg::kVE001},   {7, msg::kVE007},   {11, msg::kVE011},  {15, msg::kVE015},
      {16, msg::kVE016},  {17, msg::kVE017},  {18, msg::kVE018},  {19, msg::kVE019},
      {20, msg::kVE020},  {21, msg::kVE021},  {22, msg::kVE022},  {23, msg::kVE023},
      {24, msg::kVE024},  {25, msg::kVE025},  {26, msg::kVE026},  {27, msg::kVE027},
      {28, msg::kVE028},  {29, msg::kVE029},  {30, msg::kVE030},  {31, msg::kVE031},
      {39, msg::kVE039},  {40, msg::kVE040},  {41, msg::kVE041},  {42, msg::kVE042},
      {43, msg::kVE043},  {44, msg::kVE044},  {45, msg::kVE045},  {46, msg::kVE046},
      {50, msg::kVE050},  {800, msg::kVE800}, {801, msg::kVE801}, {802, msg::kVE802},
      {803, msg::kVE803}, {804, msg::kVE804}, {805, msg::kVE805}, {806, msg::kVE806},
      {807, msg::kVE807}, {808, msg::kVE808}, {809, msg::kVE809}, {810, msg::kVE810},
      {811, msg::kVE811}, {812, msg::kVE812}, {813, msg::kVE813}, {814, msg::kVE814},
      {815, msg::kVE815}, {816, msg::kVE816}, {817, msg::kVE817}, {818, msg::kVE818},
      {819, msg::kVE819}, {820, msg::kVE820}, {821, msg::kVE821}, {822, msg::kVE822},
      {823, msg::kVE823},
  };
  for (const auto &[n, text] : kTable) {
    if (n == number) return text;
  }
  return nullptr;
}

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
