// zelko: the data engine on the command line.
#include <iostream>

#include "commands.h"
#include "zplatform/program.h"

int main(int argc, char **argv) {
  std::ios::sync_with_stdio(false);
  zplatform::RaiseOpenFileLimit();
  zelkocli::Args args(argv + 1, argv + argc);
  return zplatform::FinishOutput("zelko", zelkocli::RunZelko(args, {std::cout, std::cerr}));
}
