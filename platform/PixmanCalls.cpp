#include "platform/PixmanCalls.h"

#include <dlfcn.h>

#include <optional>

namespace {

constexpr char kLibraryName[] = "libpixman-1.so.0";

template <typename Function>
bool resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

bool resolveAll(void* library, PixmanCalls& calls) {
  return resolve(library, "pixman_image_create_bits", calls.imageCreateBits) &&
         resolve(library, "pixman_image_unref", calls.imageUnref) &&
         resolve(library, "pixman_image_get_width", calls.imageGetWidth) &&
         resolve(library, "pixman_image_get_height", calls.imageGetHeight) &&
         resolve(library, "pixman_image_get_data", calls.imageGetData) &&
         resolve(library, "pixman_image_get_stride", calls.imageGetStride) &&
         resolve(library, "pixman_image_set_repeat", calls.imageSetRepeat) &&
         resolve(library, "pixman_image_set_filter", calls.imageSetFilter) &&
         resolve(library, "pixman_image_set_transform", calls.imageSetTransform) &&
         resolve(library, "pixman_image_composite32", calls.imageComposite32) &&
         resolve(library, "pixman_image_fill_boxes", calls.imageFillBoxes) &&
         resolve(library, "pixman_f_transform_init_identity", calls.fTransformInitIdentity) &&
         resolve(library, "pixman_transform_from_pixman_f_transform", calls.transformFromFTransform) &&
         resolve(library, "pixman_region32_init_rect", calls.region32InitRect) &&
         resolve(library, "pixman_region32_subtract", calls.region32Subtract) &&
         resolve(library, "pixman_region32_rectangles", calls.region32Rectangles) &&
         resolve(library, "pixman_region32_fini", calls.region32Fini) &&
         resolve(library, "pixman_format_supported_destination", calls.formatSupportedDestination);
}

std::optional<PixmanCalls> openPixman() {
  void* library = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return std::nullopt;
  PixmanCalls calls;
  if (resolveAll(library, calls)) return calls;
  ::dlclose(library);
  return std::nullopt;
}

}  // namespace

const PixmanCalls* pixmanCalls() {
  // Set once, by whichever thread draws first, and never changed after.
  static const std::optional<PixmanCalls> calls = openPixman();
  return calls ? &*calls : nullptr;
}
