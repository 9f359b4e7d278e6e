#include "frame/stock_look.h"

#include <QStringList>

namespace zelko {

QColor OleColor(int32_t c, QColor system) {
  uint32_t v = static_cast<uint32_t>(c);
  if (v & 0x80000000u) return system;
  return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

QFont FontOf(const std::string &spec) {
  QStringList parts = QString::fromStdString(spec).split(',');
  QFont f(parts.value(0));
  if (parts.size() > 1) f.setPointSizeF(parts[1].toDouble());
  if (parts.size() > 2) f.setWeight(parts[2].toInt() >= 700 ? QFont::Bold : QFont::Normal);
  return f;
}

}  // namespace zelko
