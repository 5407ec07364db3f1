#include "platform/PictureCodecCalls.h"

#include "platform/LibraryCalls.h"

namespace {

bool resolveAvif(void* library, AvifCalls& calls) {
  return resolveCall(library, "avifDecoderCreate", calls.decoderCreate) &&
         resolveCall(library, "avifDecoderDestroy", calls.decoderDestroy) &&
         resolveCall(library, "avifDecoderSetIOMemory", calls.decoderSetIOMemory) &&
         resolveCall(library, "avifDecoderParse", calls.decoderParse) &&
         resolveCall(library, "avifDecoderNextImage", calls.decoderNextImage) &&
         resolveCall(library, "avifRGBImageSetDefaults", calls.rgbImageSetDefaults) &&
         resolveCall(library, "avifImageYUVToRGB", calls.imageYUVToRGB) &&
         resolveCall(library, "avifResultToString", calls.resultToString);
}

bool resolveHeif(void* library, HeifCalls& calls) {
  return resolveCall(library, "heif_context_alloc", calls.contextAlloc) &&
         resolveCall(library, "heif_context_free", calls.contextFree) &&
         resolveCall(library, "heif_context_read_from_memory_without_copy", calls.contextReadFromMemory) &&
         resolveCall(library, "heif_context_set_maximum_image_size_limit",
                     calls.contextSetMaximumImageSizeLimit) &&
         resolveCall(library, "heif_context_get_primary_image_handle", calls.contextGetPrimaryImageHandle) &&
         resolveCall(library, "heif_image_handle_get_width", calls.imageHandleGetWidth) &&
         resolveCall(library, "heif_image_handle_get_height", calls.imageHandleGetHeight) &&
         resolveCall(library, "heif_image_handle_release", calls.imageHandleRelease) &&
         resolveCall(library, "heif_decode_image", calls.decodeImage) &&
         resolveCall(library, "heif_image_get_width", calls.imageGetWidth) &&
         resolveCall(library, "heif_image_get_height", calls.imageGetHeight) &&
         resolveCall(library, "heif_image_get_plane_readonly", calls.imageGetPlaneReadonly) &&
         resolveCall(library, "heif_image_release", calls.imageRelease);
}

bool resolveJxl(void* library, JxlCalls& calls) {
  return resolveCall(library, "JxlDecoderCreate", calls.decoderCreate) &&
         resolveCall(library, "JxlDecoderDestroy", calls.decoderDestroy) &&
         resolveCall(library, "JxlDecoderSubscribeEvents", calls.decoderSubscribeEvents) &&
         resolveCall(library, "JxlDecoderSetInput", calls.decoderSetInput) &&
         resolveCall(library, "JxlDecoderCloseInput", calls.decoderCloseInput) &&
         resolveCall(library, "JxlDecoderProcessInput", calls.decoderProcessInput) &&
         resolveCall(library, "JxlDecoderGetBasicInfo", calls.decoderGetBasicInfo) &&
         resolveCall(library, "JxlDecoderImageOutBufferSize", calls.decoderImageOutBufferSize) &&
         resolveCall(library, "JxlDecoderSetImageOutBuffer", calls.decoderSetImageOutBuffer);
}

}  // namespace

// Each set once, by whichever thread decodes first, and never changed after.
const AvifCalls* avifCalls() {
  static const std::optional<AvifCalls> calls = openLibraryCalls<AvifCalls>(kAvifLibraryName, resolveAvif);
  return calls ? &*calls : nullptr;
}

const HeifCalls* heifCalls() {
  static const std::optional<HeifCalls> calls = openLibraryCalls<HeifCalls>(kHeifLibraryName, resolveHeif);
  return calls ? &*calls : nullptr;
}

const JxlCalls* jxlCalls() {
  static const std::optional<JxlCalls> calls = openLibraryCalls<JxlCalls>(kJxlLibraryName, resolveJxl);
  return calls ? &*calls : nullptr;
}
