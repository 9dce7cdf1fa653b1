#include "core/platform/HeapArenas.h"

#include <malloc.h>

namespace cantorel::heap {

void limitArenas(int arenas) { ::mallopt(M_ARENA_MAX, arenas); }

} // namespace cantorel::heap
