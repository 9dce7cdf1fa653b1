#include "core/platform/HeapArenas.h"

#include <malloc.h>

namespace cantorel::heap {

void limitArenas(int arenas) { ::mallopt(M_ARENA_MAX, arenas); }

void releaseFree() { ::malloc_trim(0); }

} // namespace cantorel::heap
