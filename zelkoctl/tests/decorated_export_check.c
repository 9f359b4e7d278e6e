/* Loads libzelkoctl as a declaring program would and checks that the table-name function is
 * reachable under its decorated name and its plain alias, both answering as documented. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>

typedef char *(*TableNameFunction)(int16_t);

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  void *library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  TableNameFunction decorated = (TableNameFunction)dlsym(library, "_DbGetTableName@4");
  TableNameFunction plain = (TableNameFunction)dlsym(library, "DbGetTableName");
  if (decorated == NULL || plain == NULL) {
    fprintf(stderr, "missing export: decorated %p, plain %p\n", (void *)decorated, (void *)plain);
    return 1;
  }
  /* Nothing attached: both give the empty text. */
  char *a = decorated(0), *b = plain(0);
  if (a == NULL || b == NULL || a[0] != '\0' || b[0] != '\0') {
    fprintf(stderr, "unexpected answers without an attachment\n");
    return 1;
  }
  dlclose(library);
  return 0;
}
