#include "listing.h"

#include <cstdio>

#include "editor_messages.h"
#include "zplatform/codepage.h"

namespace dictedit {

namespace {

constexpr int kLineHeight = 14;

// printf into code-page text; the format is UTF-8 and its arguments code page.
template <typename... Args>
std::string Format(const char *format_utf8, Args... args) {
  std::string format = zplatform::FromUtf8(format_utf8);
  int length = std::snprintf(nullptr, 0, format.c_str(), args...);
  std::string text(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
  std::snprintf(text.data(), text.size(), format.c_str(), args...);
  text.resize(static_cast<size_t>(std::max(length, 0)));
  return text;
}

std::string Word(bool on, const char *yes, const char *no) {
  return zplatform::FromUtf8(on ? yes : no);
}

}  // namespace

int ListingFieldsPerPage(const EditorOptions &options) {
  return options.fields_per_page > 0 ? options.fields_per_page : 40;
}

int ListingPageCount(const DdfTable &table, const EditorOptions &options) {
  return (table.field_count() - 1) / ListingFieldsPerPage(options) + 1;
}

bool CanList(DdfDictionary &dict, const DdfTable *table) {
  if (table == nullptr) return !ShowText(dict.Ui(), false, msg::kVE1009);
  if (table->field_count() < 1) return !ShowText(dict.Ui(), false, msg::kVE1011);
  return true;
}

std::vector<ListingLine> ListingPage(const DdfTable &table, const EditorOptions &options, int page,
                                     const std::tm &today) {
  using Font = ListingLine::Font;
  const int per_page = ListingFieldsPerPage(options);
  std::vector<ListingLine> lines;
  auto draw = [&](Font font, int x, int y, std::string text) {
    lines.push_back(ListingLine{font, x, y, std::move(text)});
  };
  int y = 0, start = 0;
  if (page == 1) {
    draw(Font::kTitle, 0, y, Format("ﾃｰﾌﾞﾙ名       : %s", table.name.c_str()));
    draw(Font::kTitle, 500, y,
         Format("印刷日 : %04d/%02d/%02d", today.tm_year + 1900, today.tm_mon + 1, today.tm_mday));
    y += kLineHeight;
    draw(Font::kTitle, 0, y, Format("BTRIEVE ﾌｧｲﾙ名: %s", table.location.c_str()));
    draw(Font::kTitle, 500, y, Format("ﾃｰﾌﾞﾙID: %d", table.file_id - 4));
    y += 24;
  } else {
    y = 38;
    start = per_page * (page - 1);
  }
  draw(Font::kHeader, 0, y,
       zplatform::FromUtf8("No. フィールド名         データ型        サイズ 小数点以下"));
  y += kLineHeight;
  // A field counts whether or not it is drawn; the page's share starts after `start`.
  int number = options.zero_offset ? 0 : 1, counted = 1, drawn = 0;
  for (const auto &field : table.fields) {
    if (counted > start) {
      std::string type = zplatform::FromUtf8(TypeNameOfCode(field->data_type));
      if (field->decimals == 0) {
        draw(Font::kRow, 0, y,
             Format("%3d %-20.20s %-15.15s %6d", number, field->name.c_str(), type.c_str(),
                    field->size));
      } else {
        draw(Font::kRow, 0, y,
             Format("%3d %-20.20s %-15.15s %6d %6d", number, field->name.c_str(), type.c_str(),
                    field->size, static_cast<int>(field->decimals)));
      }
      y += kLineHeight;
      if (++drawn >= per_page) break;
    }
    ++counted;
    ++number;
  }
  y += kLineHeight;
  draw(Font::kHeader, 0, y,
       zplatform::FromUtf8("No. インデックス         インデックス名        重複  修正  "
                           "セグメント  ソート  ヌル"));
  y += kLineHeight;
  drawn += 3;
  if (counted > start) {
    int key = 0, segment_number = 1;
    for (const auto &segment : table.segments) {
      const DdfField *field = table.FieldById(segment->field_id);
      const DdfField *name = table.NameOfKey(key);
      std::string named = name != nullptr ? name->name : std::string();
      int flags = segment->flags;
      draw(Font::kRow, 0, y,
           Format("%3d %-20s %-20s  %s  %s  %s        %s    %s", segment_number++,
                  field != nullptr ? field->name.c_str() : "", named.c_str(),
                  Word(flags & 1, "可  ", "不可").c_str(), Word(flags & 2, "可  ", "不可").c_str(),
                  Word(flags & 0x10, "あり", "なし").c_str(),
                  Word(flags & 0x40, "降順", "昇順").c_str(),
                  Word(flags & 8, "可  ", "不可").c_str()));
      y += kLineHeight;
      if (++drawn >= per_page) break;
      if ((flags & kFlagSegmented) == 0) ++key;
    }
  }
  return lines;
}

}  // namespace dictedit
