#include "platform/HeapRelease.h"

#include <malloc.h>

// glibc returns whole free pages from the middle of every arena too, not only
// from the top of the main one.
void releaseFreeHeapPages() { malloc_trim(0); }
