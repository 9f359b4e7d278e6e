#include "frm_input.h"

#include <string>
#include <vector>

#include "frm_document.h"

namespace {

using zelkoform::FrmObject;

void ReadProperties(const FrmObject &o) {
  for (const zelkoform::FrmProperty &p : o.properties) {
    (void)o.Number(p.name, 0);
    (void)o.Text(p.name);
  }
  for (const FrmObject &child : o.children)
    ReadProperties(child);
}

}  // namespace

int RunFrmFuzzInput(const uint8_t *data, size_t size) {
  std::vector<std::string> problems;
  auto document =
      zelkoform::ParseFrm(std::string(reinterpret_cast<const char *>(data), size), &problems);
  if (!document) return 0;
  ReadProperties(document->form);
  if (!problems.empty()) return 0;  // a damaged form is not saved over its file
  const std::string written = zelkoform::WriteFrm(*document);
  auto again = zelkoform::ParseFrm(written, &problems);
  if (!again || !problems.empty() || zelkoform::WriteFrm(*again) != written) __builtin_trap();
  return 0;
}
