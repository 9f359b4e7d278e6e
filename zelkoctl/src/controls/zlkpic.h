// ZLKPic: a picture bound to a String field whose text names an image file (in BlobPath when
// it is set). The image is read by Qt's image readers (BMP, PNG, JPEG, GIF, ICO ...); a file
// that is missing or not an image shows an empty picture.
#pragma once

#include <string>

#include "frame/field_control.h"

class QLabel;

namespace zelko {

class ZlkPic : public FieldControl {
 public:
  static const ClassInfo &Info();
  ZlkPic();
  ~ZlkPic() override;
  const ClassInfo &Class() const override { return Info(); }

  int GetKind() const override { return kKindPicture; }
  std::string GetDbTable() const override { return db_table_; }
  std::string GetDbField() const override { return db_field_; }
  std::string GetDbSource() const override { return db_source_; }
  void ShowFieldText(const std::string &text) override;
  // A picture answers no field and is not cleared.

  // The file the picture shows now (native path), empty when none.
  const std::string &ShownFile() const { return shown_file_; }

 protected:
  QWidget *MakeWidget(QWidget *parent) override;
  void OnWindowCreated() override;

 private:
  void ApplyStyle();
  void ShowImage();

  std::string db_source_, db_table_, db_field_, blob_path_;
  int picture_type_ = 0;
  bool stretch_ = false;
  int appearance_ = 1, border_style_ = 0, mouse_pointer_ = 0;
  bool enabled_ = true;
  int32_t back_color_ = static_cast<int32_t>(0x80000005),
          fore_color_ = static_cast<int32_t>(0x80000008);
  std::string font_ = "ＭＳ Ｐゴシック,9,400,128";
  std::string shown_file_;
  QLabel *label_ = nullptr;
};

}  // namespace zelko
