#include "picture/LibraryDecode.h"

#include <memory>

#include "platform/PictureCodecCalls.h"

namespace {

QImage refuse(QString* why, const QString& text) {
  if (why) *why = text;
  return {};
}

QSize refuseSize(QString* why, const QString& text) {
  if (why) *why = text;
  return {};
}

QString missingLibrary(PictureFormat format) {
  switch (format) {
    case PictureFormat::Avif:
      return QStringLiteral("AVIF pictures need libavif (Debian package libavif15), which is not installed");
    case PictureFormat::Heif:
      return QStringLiteral(
          "HEIC and HEIF pictures need libheif (Debian packages libheif1 and libde265-0), which is not "
          "installed");
    case PictureFormat::JpegXl:
      return QStringLiteral(
          "JPEG XL pictures need libjxl (Debian package libjxl0.7), which is not installed");
    default:
      return QStringLiteral("not a picture format this program reads");
  }
}

QString tooLarge(QSize size) {
  return QStringLiteral("picture too large (%1 x %2)").arg(size.width()).arg(size.height());
}

// Takes the picture's memory before it is allocated; the reason when it cannot.
bool reserveFor(QSize size, qint64 maxBytes, DecodeReservation& reservation, QString* why) {
  if (!fitsDecodeLimit(size, maxBytes) || !reservation.take(decodedBytes(size))) {
    if (why) *why = tooLarge(size);
    return false;
  }
  return true;
}

// --- AVIF

struct AvifDecoderDeleter {
  const AvifCalls* calls;
  void operator()(avifDecoder* decoder) const { calls->decoderDestroy(decoder); }
};
using AvifDecoderPointer = std::unique_ptr<avifDecoder, AvifDecoderDeleter>;

// A decoder that has read the file's header, or null with the reason.
AvifDecoderPointer parseAvif(const AvifCalls& avif, QByteArrayView bytes, QString* why) {
  AvifDecoderPointer decoder(avif.decoderCreate(), AvifDecoderDeleter{&avif});
  if (!decoder) {
    refuse(why, QStringLiteral("out of memory"));
    return nullptr;
  }
  avifResult result = avif.decoderSetIOMemory(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.data()),
                                              size_t(bytes.size()));
  if (result == AVIF_RESULT_OK) result = avif.decoderParse(decoder.get());
  if (result == AVIF_RESULT_OK) return decoder;
  refuse(
      why,
      QStringLiteral("not a readable AVIF picture: %1").arg(QString::fromUtf8(avif.resultToString(result))));
  return nullptr;
}

QSize avifSize(QByteArrayView bytes, QString* why) {
  const AvifCalls* avif = avifCalls();
  if (!avif) return refuseSize(why, missingLibrary(PictureFormat::Avif));
  const AvifDecoderPointer decoder = parseAvif(*avif, bytes, why);
  if (!decoder) return {};
  return QSize(int(decoder->image->width), int(decoder->image->height));
}

QImage decodeAvif(QByteArrayView bytes, qint64 maxBytes, DecodeReservation& reservation, QString* why) {
  const AvifCalls* avif = avifCalls();
  if (!avif) return refuse(why, missingLibrary(PictureFormat::Avif));
  const AvifDecoderPointer decoder = parseAvif(*avif, bytes, why);
  if (!decoder) return {};
  const QSize size(int(decoder->image->width), int(decoder->image->height));
  if (!reserveFor(size, maxBytes, reservation, why)) return {};
  avifResult result = avif->decoderNextImage(decoder.get());
  if (result != AVIF_RESULT_OK)
    return refuse(
        why, QStringLiteral("damaged or cut short: %1").arg(QString::fromUtf8(avif->resultToString(result))));
  QImage picture(size, QImage::Format_ARGB32);
  if (picture.isNull()) return refuse(why, tooLarge(size));
  avifRGBImage rgb;
  avif->rgbImageSetDefaults(&rgb, decoder->image);
  // Format_ARGB32 keeps each pixel as the bytes B, G, R, A on this machine.
  rgb.format = AVIF_RGB_FORMAT_BGRA;
  rgb.depth = 8;
  rgb.pixels = picture.bits();
  rgb.rowBytes = uint32_t(picture.bytesPerLine());
  result = avif->imageYUVToRGB(decoder->image, &rgb);
  if (result != AVIF_RESULT_OK)
    return refuse(
        why, QStringLiteral("cannot be converted: %1").arg(QString::fromUtf8(avif->resultToString(result))));
  return picture;
}

// --- HEIF

struct HeifContextDeleter {
  const HeifCalls* calls;
  void operator()(heif_context* context) const { calls->contextFree(context); }
};
struct HeifHandleDeleter {
  const HeifCalls* calls;
  void operator()(heif_image_handle* handle) const { calls->imageHandleRelease(handle); }
};
struct HeifImageDeleter {
  const HeifCalls* calls;
  void operator()(heif_image* image) const { calls->imageRelease(image); }
};

QString heifReason(const heif_error& error) {
  return QString::fromUtf8(error.message ? error.message : "error");
}

// The primary picture's handle, which knows its size; its context is kept in `context`.
std::unique_ptr<heif_image_handle, HeifHandleDeleter> openHeif(
    const HeifCalls& heif, QByteArrayView bytes, std::unique_ptr<heif_context, HeifContextDeleter>& context,
    QString* why) {
  context.reset(heif.contextAlloc());
  std::unique_ptr<heif_image_handle, HeifHandleDeleter> handle(nullptr, HeifHandleDeleter{&heif});
  if (!context) {
    refuse(why, QStringLiteral("out of memory"));
    return handle;
  }
  heif_error error = heif.contextReadFromMemory(context.get(), bytes.data(), size_t(bytes.size()), nullptr);
  if (error.code != heif_error_Ok) {
    refuse(why, QStringLiteral("not a readable HEIF picture: %1").arg(heifReason(error)));
    return handle;
  }
  heif_image_handle* primary = nullptr;
  error = heif.contextGetPrimaryImageHandle(context.get(), &primary);
  if (error.code != heif_error_Ok) {
    refuse(why, QStringLiteral("not a readable HEIF picture: %1").arg(heifReason(error)));
    return handle;
  }
  handle.reset(primary);
  return handle;
}

QSize heifSize(QByteArrayView bytes, QString* why) {
  const HeifCalls* heif = heifCalls();
  if (!heif) return refuseSize(why, missingLibrary(PictureFormat::Heif));
  std::unique_ptr<heif_context, HeifContextDeleter> context(nullptr, HeifContextDeleter{heif});
  const auto handle = openHeif(*heif, bytes, context, why);
  if (!handle) return {};
  return QSize(heif->imageHandleGetWidth(handle.get()), heif->imageHandleGetHeight(handle.get()));
}

QImage decodeHeif(QByteArrayView bytes, qint64 maxBytes, DecodeReservation& reservation, QString* why) {
  const HeifCalls* heif = heifCalls();
  if (!heif) return refuse(why, missingLibrary(PictureFormat::Heif));
  std::unique_ptr<heif_context, HeifContextDeleter> context(nullptr, HeifContextDeleter{heif});
  const auto handle = openHeif(*heif, bytes, context, why);
  if (!handle) return {};
  const QSize announced(heif->imageHandleGetWidth(handle.get()), heif->imageHandleGetHeight(handle.get()));
  if (!reserveFor(announced, maxBytes, reservation, why)) return {};
  heif_image* decoded = nullptr;
  const heif_error error =
      heif->decodeImage(handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr);
  if (error.code != heif_error_Ok)
    return refuse(why, QStringLiteral("damaged or cut short: %1").arg(heifReason(error)));
  const std::unique_ptr<heif_image, HeifImageDeleter> image(decoded, HeifImageDeleter{heif});
  const QSize size(heif->imageGetWidth(image.get(), heif_channel_interleaved),
                   heif->imageGetHeight(image.get(), heif_channel_interleaved));
  int stride = 0;
  const uint8_t* plane = heif->imageGetPlaneReadonly(image.get(), heif_channel_interleaved, &stride);
  if (!plane || size.isEmpty() || size.width() > announced.width() || size.height() > announced.height() ||
      stride < size.width() * 4)
    return refuse(why, QStringLiteral("damaged: the decoded picture is not the size its header gives"));
  return QImage(plane, size.width(), size.height(), stride, QImage::Format_RGBA8888).copy();
}

// --- JPEG XL

struct JxlDecoderDeleter {
  const JxlCalls* calls;
  void operator()(JxlDecoder* decoder) const { calls->decoderDestroy(decoder); }
};

// The size as shown: orientations 5 to 8 exchange width and height, and the
// decoder turns the picture itself.
QSize shownJxlSize(const JxlBasicInfo& info) {
  const QSize stored(int(info.xsize), int(info.ysize));
  return info.orientation > JXL_ORIENT_FLIP_VERTICAL ? stored.transposed() : stored;
}

enum class JxlStop { AtHeader, AtPicture };

// Runs the decoder up to the header or through the first frame.
QImage runJxl(const JxlCalls& jxl, QByteArrayView bytes, JxlStop stop, qint64 maxBytes,
              DecodeReservation* reservation, QSize* size, QString* why) {
  std::unique_ptr<JxlDecoder, JxlDecoderDeleter> decoder(jxl.decoderCreate(nullptr), JxlDecoderDeleter{&jxl});
  if (!decoder) return refuse(why, QStringLiteral("out of memory"));
  const int events =
      stop == JxlStop::AtHeader ? JXL_DEC_BASIC_INFO : (JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE);
  if (jxl.decoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS ||
      jxl.decoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.data()),
                          size_t(bytes.size())) != JXL_DEC_SUCCESS)
    return refuse(why, QStringLiteral("the JPEG XL decoder cannot start"));
  jxl.decoderCloseInput(decoder.get());
  const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  QImage picture;
  for (;;) {
    switch (jxl.decoderProcessInput(decoder.get())) {
      case JXL_DEC_BASIC_INFO: {
        JxlBasicInfo info;
        if (jxl.decoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
          return refuse(why, QStringLiteral("not a readable JPEG XL picture"));
        *size = shownJxlSize(info);
        if (stop == JxlStop::AtHeader) return {};
        if (!reserveFor(*size, maxBytes, *reservation, why)) return {};
        picture = QImage(*size, QImage::Format_RGBA8888);
        if (picture.isNull()) return refuse(why, tooLarge(*size));
        break;
      }
      case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
        size_t needed = 0;
        if (picture.isNull() ||
            jxl.decoderImageOutBufferSize(decoder.get(), &format, &needed) != JXL_DEC_SUCCESS ||
            needed != size_t(picture.sizeInBytes()) ||
            jxl.decoderSetImageOutBuffer(decoder.get(), &format, picture.bits(), needed) != JXL_DEC_SUCCESS)
          return refuse(why, QStringLiteral("damaged: the picture is not the size its header gives"));
        break;
      }
      case JXL_DEC_FULL_IMAGE:
        // The first frame of an animation is the picture.
        return picture;
      case JXL_DEC_NEED_MORE_INPUT:
        return refuse(why, QStringLiteral("the file is cut short"));
      case JXL_DEC_SUCCESS:
        if (!picture.isNull()) return picture;
        return refuse(why, QStringLiteral("the file holds no picture"));
      default:
        return refuse(why, QStringLiteral("not a readable JPEG XL picture"));
    }
  }
}

QSize jxlSize(QByteArrayView bytes, QString* why) {
  const JxlCalls* jxl = jxlCalls();
  if (!jxl) return refuseSize(why, missingLibrary(PictureFormat::JpegXl));
  QSize size;
  runJxl(*jxl, bytes, JxlStop::AtHeader, 0, nullptr, &size, why);
  return size;
}

QImage decodeJxl(QByteArrayView bytes, qint64 maxBytes, DecodeReservation& reservation, QString* why) {
  const JxlCalls* jxl = jxlCalls();
  if (!jxl) return refuse(why, missingLibrary(PictureFormat::JpegXl));
  QSize size;
  return runJxl(*jxl, bytes, JxlStop::AtPicture, maxBytes, &reservation, &size, why);
}

}  // namespace

bool isLibraryFormat(PictureFormat format) {
  return format == PictureFormat::Avif || format == PictureFormat::Heif || format == PictureFormat::JpegXl;
}

bool libraryAvailable(PictureFormat format) {
  switch (format) {
    case PictureFormat::Avif:
      return avifCalls() != nullptr;
    case PictureFormat::Heif:
      return heifCalls() != nullptr;
    case PictureFormat::JpegXl:
      return jxlCalls() != nullptr;
    default:
      return false;
  }
}

QSize libraryPictureSize(PictureFormat format, QByteArrayView bytes, QString* why) {
  switch (format) {
    case PictureFormat::Avif:
      return avifSize(bytes, why);
    case PictureFormat::Heif:
      return heifSize(bytes, why);
    case PictureFormat::JpegXl:
      return jxlSize(bytes, why);
    default:
      return refuseSize(why, missingLibrary(format));
  }
}

QImage decodeWithLibrary(PictureFormat format, QByteArrayView bytes, qint64 maxBytes,
                         DecodeReservation& reservation, QString* why) {
  switch (format) {
    case PictureFormat::Avif:
      return decodeAvif(bytes, maxBytes, reservation, why);
    case PictureFormat::Heif:
      return decodeHeif(bytes, maxBytes, reservation, why);
    case PictureFormat::JpegXl:
      return decodeJxl(bytes, maxBytes, reservation, why);
    default:
      return refuse(why, missingLibrary(format));
  }
}
