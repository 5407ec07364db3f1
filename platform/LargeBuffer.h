// Memory for screen-sized and photo-sized pixel buffers. Touching a fresh
// buffer page by page costs one page fault every 4 KiB, which for a decoded
// photo of 96 MB is a noticeable part of setting a background; in huge pages
// (where the system allows them on request) it is one fault every 2 MiB.
#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>

// A buffer of `bytes`, released with std::free; null when there is no memory.
void* allocateLargeBuffer(std::size_t bytes);

// A Format_RGB32 image whose pixels live in such a buffer; null when there
// is no memory.
QImage makeLargeImage(QSize size);
