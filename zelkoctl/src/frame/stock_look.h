// The stock look properties of the controls as Qt takes them: OLE colours (system colours
// fall back to the style's) and the font text "Face,Size,Weight,Charset".
#pragma once

#include <QColor>
#include <QFont>
#include <cstdint>
#include <string>

namespace zelko {

// An OLE colour 0x00BBGGRR; a system colour (high bit set) gives `system`.
QColor OleColor(int32_t color, QColor system);
QFont FontOf(const std::string &spec);

}  // namespace zelko
