// Gives the allocator's free pages back to the system. Start-up decodes skin
// bitmaps, fonts and thumbnails whose scratch memory the allocator would
// otherwise keep for the program's whole life, counted as its own.
#pragma once

void releaseFreeHeapPages();
