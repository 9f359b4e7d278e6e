/* Compiles the public record layouts (their size checks) into the library. */
#include "dictio/dictio.h"
