// The dictionary editor. Its document and windows arrive with their own changes.
#include <QApplication>
#include <cstdio>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  std::fprintf(stderr, "dictedit 3.00: the editor is not built yet\n");
  return 2;
}
