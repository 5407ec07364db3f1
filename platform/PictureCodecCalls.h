// libavif, libheif and libjxl, opened when the first AVIF, HEIC or JPEG XL
// picture is decoded rather than at every start: together with the codecs
// they pull in (aom, dav1d, de265, x265, highway) they are megabytes that
// most runs never need, and a start that maps them pays for it.
#pragma once

#include <avif/avif.h>
#include <jxl/decode.h>
#include <libheif/heif.h>

struct AvifCalls {
  decltype(&avifDecoderCreate) decoderCreate = nullptr;
  decltype(&avifDecoderDestroy) decoderDestroy = nullptr;
  decltype(&avifDecoderSetIOMemory) decoderSetIOMemory = nullptr;
  decltype(&avifDecoderParse) decoderParse = nullptr;
  decltype(&avifDecoderNextImage) decoderNextImage = nullptr;
  decltype(&avifRGBImageSetDefaults) rgbImageSetDefaults = nullptr;
  decltype(&avifImageYUVToRGB) imageYUVToRGB = nullptr;
  decltype(&avifResultToString) resultToString = nullptr;
};

struct HeifCalls {
  decltype(&heif_context_alloc) contextAlloc = nullptr;
  decltype(&heif_context_free) contextFree = nullptr;
  decltype(&heif_context_read_from_memory_without_copy) contextReadFromMemory = nullptr;
  decltype(&heif_context_set_maximum_image_size_limit) contextSetMaximumImageSizeLimit = nullptr;
  decltype(&heif_context_get_primary_image_handle) contextGetPrimaryImageHandle = nullptr;
  decltype(&heif_image_handle_get_width) imageHandleGetWidth = nullptr;
  decltype(&heif_image_handle_get_height) imageHandleGetHeight = nullptr;
  decltype(&heif_image_handle_release) imageHandleRelease = nullptr;
  decltype(&heif_decode_image) decodeImage = nullptr;
  decltype(&heif_image_get_width) imageGetWidth = nullptr;
  decltype(&heif_image_get_height) imageGetHeight = nullptr;
  decltype(&heif_image_get_plane_readonly) imageGetPlaneReadonly = nullptr;
  decltype(&heif_image_release) imageRelease = nullptr;
};

struct JxlCalls {
  decltype(&JxlDecoderCreate) decoderCreate = nullptr;
  decltype(&JxlDecoderDestroy) decoderDestroy = nullptr;
  decltype(&JxlDecoderSubscribeEvents) decoderSubscribeEvents = nullptr;
  decltype(&JxlDecoderSetInput) decoderSetInput = nullptr;
  decltype(&JxlDecoderCloseInput) decoderCloseInput = nullptr;
  decltype(&JxlDecoderProcessInput) decoderProcessInput = nullptr;
  decltype(&JxlDecoderGetBasicInfo) decoderGetBasicInfo = nullptr;
  decltype(&JxlDecoderImageOutBufferSize) decoderImageOutBufferSize = nullptr;
  decltype(&JxlDecoderSetImageOutBuffer) decoderSetImageOutBuffer = nullptr;
};

// Each library's functions, opened on the first call and kept for the
// program's life; nullptr when the library is not installed.
const AvifCalls* avifCalls();
const HeifCalls* heifCalls();
const JxlCalls* jxlCalls();

// The file names they are opened by, for the user's refusal line.
inline constexpr char kAvifLibraryName[] = "libavif.so.15";
inline constexpr char kHeifLibraryName[] = "libheif.so.1";
inline constexpr char kJxlLibraryName[] = "libjxl.so.0.7";
