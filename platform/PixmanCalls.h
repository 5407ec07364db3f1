// pixman, opened when the root window's backend first draws rather than at
// every start: a loaded pixman sets up all of its fast paths at once, half a
// megabyte of memory and a share of the launch for a library that most
// desktops never need.
#pragma once

#include <pixman.h>

struct PixmanCalls {
  decltype(&pixman_image_create_bits) imageCreateBits = nullptr;
  decltype(&pixman_image_unref) imageUnref = nullptr;
  decltype(&pixman_image_get_width) imageGetWidth = nullptr;
  decltype(&pixman_image_get_height) imageGetHeight = nullptr;
  decltype(&pixman_image_get_data) imageGetData = nullptr;
  decltype(&pixman_image_get_stride) imageGetStride = nullptr;
  decltype(&pixman_image_set_repeat) imageSetRepeat = nullptr;
  decltype(&pixman_image_set_filter) imageSetFilter = nullptr;
  decltype(&pixman_image_set_transform) imageSetTransform = nullptr;
  decltype(&pixman_image_composite32) imageComposite32 = nullptr;
  decltype(&pixman_image_fill_boxes) imageFillBoxes = nullptr;
  decltype(&pixman_f_transform_init_identity) fTransformInitIdentity = nullptr;
  decltype(&pixman_transform_from_pixman_f_transform) transformFromFTransform = nullptr;
  decltype(&pixman_region32_init_rect) region32InitRect = nullptr;
  decltype(&pixman_region32_subtract) region32Subtract = nullptr;
  decltype(&pixman_region32_rectangles) region32Rectangles = nullptr;
  decltype(&pixman_region32_fini) region32Fini = nullptr;
  decltype(&pixman_format_supported_destination) formatSupportedDestination = nullptr;
};

// The library's functions, opened on the first call and kept for the
// program's life; nullptr when the library cannot be opened.
const PixmanCalls* pixmanCalls();
