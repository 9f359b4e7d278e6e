// Writes the benchmarks' ITEMS table for programs outside this build (the Python benchmark):
// make-bench-items DIR RECORDS
#include <cstdio>
#include <cstdlib>

#include "items_table.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make-bench-items DIR RECORDS\n");
    return 2;
  }
  int status = benchdata::WriteItemsTable(argv[1], std::atoi(argv[2]));
  if (status != 0) std::fprintf(stderr, "make-bench-items: status %d\n", status);
  return status == 0 ? 0 : 1;
}
