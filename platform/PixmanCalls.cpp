#include "platform/PixmanCalls.h"

#include "platform/LibraryCalls.h"

namespace {

constexpr char kLibraryName[] = "libpixman-1.so.0";

bool resolveAll(void* library, PixmanCalls& calls) {
  return resolveCall(library, "pixman_image_create_bits", calls.imageCreateBits) &&
         resolveCall(library, "pixman_image_unref", calls.imageUnref) &&
         resolveCall(library, "pixman_image_get_width", calls.imageGetWidth) &&
         resolveCall(library, "pixman_image_get_height", calls.imageGetHeight) &&
         resolveCall(library, "pixman_image_get_data", calls.imageGetData) &&
         resolveCall(library, "pixman_image_get_stride", calls.imageGetStride) &&
         resolveCall(library, "pixman_image_set_repeat", calls.imageSetRepeat) &&
         resolveCall(library, "pixman_image_set_filter", calls.imageSetFilter) &&
         resolveCall(library, "pixman_image_set_transform", calls.imageSetTransform) &&
         resolveCall(library, "pixman_image_composite32", calls.imageComposite32) &&
         resolveCall(library, "pixman_image_fill_boxes", calls.imageFillBoxes) &&
         resolveCall(library, "pixman_f_transform_init_identity", calls.fTransformInitIdentity) &&
         resolveCall(library, "pixman_transform_from_pixman_f_transform", calls.transformFromFTransform) &&
         resolveCall(library, "pixman_region32_init_rect", calls.region32InitRect) &&
         resolveCall(library, "pixman_region32_subtract", calls.region32Subtract) &&
         resolveCall(library, "pixman_region32_rectangles", calls.region32Rectangles) &&
         resolveCall(library, "pixman_region32_fini", calls.region32Fini) &&
         resolveCall(library, "pixman_format_supported_destination", calls.formatSupportedDestination);
}

}  // namespace

const PixmanCalls* pixmanCalls() {
  // Set once, by whichever thread draws first, and never changed after.
  static const std::optional<PixmanCalls> calls = openLibraryCalls<PixmanCalls>(kLibraryName, resolveAll);
  return calls ? &*calls : nullptr;
}
