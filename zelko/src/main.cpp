// zelko: the data engine on the command line.
#include <iostream>

#include "commands.h"

int main(int argc, char **argv) {
  std::ios::sync_with_stdio(false);
  zelkocli::Args args(argv + 1, argv + argc);
  int status = zelkocli::RunZelko(args, {std::cout, std::cerr});
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "zelko: cannot write the output\n";
    return 1;
  }
  return status;
}
