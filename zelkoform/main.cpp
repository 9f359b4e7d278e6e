// The form host. Forms and controls arrive with their own changes.
#include <QApplication>
#include <cstdio>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  std::fprintf(stderr, "zelkoform 3.00: the form host is not built yet\n");
  return 2;
}
