#include "picture/JpegDecode.h"

#include <QSysInfo>
#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include "platform/LargeBuffer.h"

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace {

// A hostile progressive file can carry thousands of tiny scans that each
// cost a full pass; well-formed files use a dozen or so.
constexpr int kMaxProgressiveScans = 500;

// Large enough that refills cost nothing next to decoding.
constexpr qint64 kSourceChunkBytes = 64 * 1024;

// libjpeg reports fatal errors through error_exit, whose default ends the
// process. Ours jumps back into the decoder call that is running, which
// then fails; the decompressor is destroyed normally afterwards.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void abortDecode(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, manager->message);
  std::longjmp(manager->jump, 1);
}

// Missing or damaged picture data only raises a warning, after which libjpeg
// fills the rest of the picture with grey; such a picture is not what the user
// stored, so it is an error here, and stopping at once also spares decoding
// the rest of a file whose header claims far more than it holds. Other
// warnings (stray bytes between markers, common in camera files) leave a
// usable picture.
bool isDamagedData(int messageCode) {
  return messageCode == JWRN_JPEG_EOF || messageCode == JWRN_HIT_MARKER || messageCode == JWRN_MUST_RESYNC;
}

void onJpegMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  if (isDamagedData(cinfo->err->msg_code)) abortDecode(cinfo);
  ++cinfo->err->num_warnings;
}

void limitScans(j_common_ptr cinfo) {
  auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (decompress->progressive_mode && decompress->input_scan_number > kMaxProgressiveScans) {
    std::snprintf(reinterpret_cast<JpegErrorManager*>(cinfo->err)->message, JMSG_LENGTH_MAX,
                  "too many progressive scans");
    std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
  }
}

// Feeds libjpeg from a Qt device. The end of the data becomes libjpeg's
// premature-end warning, which the message handler turns into an error.
struct DeviceSource {
  jpeg_source_mgr pub;
  QIODevice* device;
  std::vector<JOCTET> buffer;
};

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInputBuffer(j_decompress_ptr cinfo) {
  auto* source = reinterpret_cast<DeviceSource*>(cinfo->src);
  const qint64 got =
      source->device->read(reinterpret_cast<char*>(source->buffer.data()), qint64(source->buffer.size()));
  if (got <= 0) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    // As libjpeg's own sources do: a fake end marker ends the picture.
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    source->pub.next_input_byte = source->buffer.data();
    source->pub.bytes_in_buffer = 2;
    return TRUE;
  }
  source->pub.next_input_byte = source->buffer.data();
  source->pub.bytes_in_buffer = std::size_t(got);
  return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count) {
  auto* source = reinterpret_cast<DeviceSource*>(cinfo->src);
  while (count > long(source->pub.bytes_in_buffer)) {
    count -= long(source->pub.bytes_in_buffer);
    fillInputBuffer(cinfo);
  }
  if (count > 0) {
    source->pub.next_input_byte += count;
    source->pub.bytes_in_buffer -= std::size_t(count);
  }
}

bool isCmyk(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

// One decompression. Every step that may end in libjpeg's error handler sets
// its own jump target and keeps no object with a destructor, so the jump
// skips nothing.
class JpegDecoder {
 public:
  explicit JpegDecoder(QIODevice& device) {
    m_cinfo.err = jpeg_std_error(&m_error.pub);
    m_error.pub.error_exit = abortDecode;
    m_error.pub.emit_message = onJpegMessage;
    m_error.message[0] = '\0';
    m_progress.progress_monitor = limitScans;
    m_source.device = &device;
    m_source.buffer.resize(kSourceChunkBytes);
    m_source.pub.init_source = initSource;
    m_source.pub.fill_input_buffer = fillInputBuffer;
    m_source.pub.skip_input_data = skipInputData;
    m_source.pub.resync_to_restart = jpeg_resync_to_restart;
    m_source.pub.term_source = termSource;
  }
  ~JpegDecoder() {
    if (m_created) jpeg_destroy_decompress(&m_cinfo);
  }
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  bool open(qint64 maxBytes) {
    if (setjmp(m_error.jump)) return false;
    jpeg_create_decompress(&m_cinfo);
    m_created = true;
    m_cinfo.mem->max_memory_to_use = long(maxBytes);
    m_cinfo.progress = &m_progress;
    m_cinfo.src = &m_source.pub;
    jpeg_read_header(&m_cinfo, TRUE);
    m_cinfo.out_color_space = isCmyk(m_cinfo.jpeg_color_space) ? JCS_CMYK : nativeRgb32Space();
    return true;
  }

  QSize sourceSize() const { return QSize(int(m_cinfo.image_width), int(m_cinfo.image_height)); }

  // Sets the output size: the picture's own, or the smallest of the scales
  // 1/8, 1/4, 1/2 and 1 whose output still covers `box` (a box larger than
  // the picture gets it whole). libjpeg-turbo has vector code for these
  // only: a 6000x4000 photo decodes in 1.4 billion instructions at full size
  // but in 2.0 billion at 3/4, most of them in its plain 6x6 transform.
  bool chooseScale(JpegScale scale, QSize box) {
    if (setjmp(m_error.jump)) return false;
    for (unsigned num = scale == JpegScale::Full ? 8 : 1; num <= 8; num *= 2) {
      m_cinfo.scale_num = num;
      m_cinfo.scale_denom = 8;
      jpeg_calc_output_dimensions(&m_cinfo);
      if (int(m_cinfo.output_width) >= box.width() && int(m_cinfo.output_height) >= box.height()) break;
    }
    return true;
  }

  bool start() {
    if (setjmp(m_error.jump)) return false;
    jpeg_start_decompress(&m_cinfo);
    return true;
  }

  QSize outputSize() const { return QSize(int(m_cinfo.output_width), int(m_cinfo.output_height)); }

  // What libjpeg itself will hold besides the rows it hands out: a file of
  // several scans keeps the coefficients of the whole picture until its last.
  bool measureWorkingBytes(qint64& bytes) {
    if (setjmp(m_error.jump)) return false;
    bytes = 0;
    if (!jpeg_has_multiple_scans(&m_cinfo)) return true;
    for (int c = 0; c < m_cinfo.num_components; ++c) {
      const jpeg_component_info& component = m_cinfo.comp_info[c];
      bytes +=
          qint64(component.width_in_blocks) * component.height_in_blocks * DCTSIZE2 * qint64(sizeof(JCOEF));
    }
    return true;
  }

  // Reads the next `count` rows (no more than are left) into a buffer of
  // four bytes a pixel.
  bool readRows(uchar* const bits, int count, qsizetype bytesPerLine) {
    const JDIMENSION first = m_cinfo.output_scanline;
    const JDIMENSION end = std::min(m_cinfo.output_height, first + JDIMENSION(count));
    if (setjmp(m_error.jump)) return false;
    while (m_cinfo.output_scanline < end) {
      // libjpeg hands out as many rows as one pass of its sampling gives.
      std::array<JSAMPROW, kRowsAtOnce> rows{};
      const JDIMENSION done = m_cinfo.output_scanline - first;
      const JDIMENSION wanted = std::min<JDIMENSION>(kRowsAtOnce, end - m_cinfo.output_scanline);
      for (JDIMENSION n = 0; n < wanted; ++n) rows[n] = bits + qsizetype(done + n) * bytesPerLine;
      jpeg_read_scanlines(&m_cinfo, rows.data(), wanted);
    }
    return true;
  }

  bool finish() {
    if (setjmp(m_error.jump)) return false;
    jpeg_finish_decompress(&m_cinfo);
    return true;
  }

  bool decodedCmyk() const { return m_cinfo.out_color_space == JCS_CMYK; }
  // Adobe's writers store CMYK inverted; they are the ones that add the marker.
  bool invertedCmyk() const { return m_cinfo.saw_Adobe_marker; }
  QString message() const { return QString::fromLocal8Bit(m_error.message); }

 private:
  static J_COLOR_SPACE nativeRgb32Space() {
    // QImage::Format_RGB32 holds 0xffRRGGBB words, whose byte order follows the machine's.
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
  }

  // Two rows of the tallest sampling factor cover what one call can give.
  static constexpr JDIMENSION kRowsAtOnce = 16;

  jpeg_decompress_struct m_cinfo{};
  JpegErrorManager m_error{};
  jpeg_progress_mgr m_progress{};
  DeviceSource m_source{};
  bool m_created = false;
};

// Turns rows of CMYK bytes into Format_RGB32 pixels where they lie.
void cmykToRgb(uchar* rows, int width, int count, qsizetype bytesPerLine, bool inverted) {
  for (int y = 0; y < count; ++y) {
    auto* pixel = reinterpret_cast<QRgb*>(rows + y * bytesPerLine);
    const uchar* cmyk = rows + y * bytesPerLine;
    for (int x = 0; x < width; ++x, cmyk += 4) {
      const int c = inverted ? cmyk[0] : 255 - cmyk[0];
      const int m = inverted ? cmyk[1] : 255 - cmyk[1];
      const int yellow = inverted ? cmyk[2] : 255 - cmyk[2];
      const int k = inverted ? cmyk[3] : 255 - cmyk[3];
      pixel[x] = qRgb(c * k / 255, m * k / 255, yellow * k / 255);
    }
  }
}

QImage refuse(QString* why, const QString& text) {
  if (why) *why = text;
  return {};
}

QString tooLarge(const JpegDecoder& decoder) {
  const QSize size = decoder.sourceSize();
  return QStringLiteral("picture too large (%1 x %2)").arg(size.width()).arg(size.height());
}

// Reads the header and chooses the scale; false, with the reason in `why`,
// when the header is damaged or the result would exceed `maxBytes`.
bool openForScale(JpegDecoder& decoder, JpegScale scale, QSize box, qint64 maxBytes, QString* why) {
  if (!decoder.open(maxBytes) || !decoder.chooseScale(scale, box)) {
    refuse(why, decoder.message());
    return false;
  }
  if (fitsDecodeLimit(decoder.outputSize(), maxBytes)) return true;
  refuse(why, tooLarge(decoder));
  return false;
}

}  // namespace

QSize readJpegSize(QIODevice& source, QString* why) {
  JpegDecoder decoder(source);
  // The header needs a few kilobytes; the limit only bounds a hostile one.
  constexpr qint64 kHeaderMemoryBytes = 4 * 1024 * 1024;
  if (decoder.open(kHeaderMemoryBytes)) return decoder.sourceSize();
  if (why) *why = decoder.message();
  return QSize();
}

QImage decodeJpegStream(QIODevice& source, JpegScale scale, QSize box, qint64 maxBytes,
                        DecodeReservation& reservation, QString* why) {
  JpegDecoder decoder(source);
  const auto fail = [&] { return refuse(why, decoder.message()); };
  if (!openForScale(decoder, scale, box, maxBytes, why)) return {};
  const QSize output = decoder.outputSize();
  qint64 workingBytes = 0;
  if (!decoder.measureWorkingBytes(workingBytes)) return fail();
  if (!reservation.take(decodedBytes(output) + workingBytes)) return refuse(why, tooLarge(decoder));
  if (!decoder.start()) return fail();
  QImage image = makeLargeImage(output);
  if (image.isNull()) return refuse(why, QStringLiteral("out of memory"));
  if (!decoder.readRows(image.bits(), output.height(), image.bytesPerLine()) || !decoder.finish())
    return fail();
  if (decoder.decodedCmyk())
    cmykToRgb(image.bits(), image.width(), image.height(), image.bytesPerLine(), decoder.invertedCmyk());
  return image;
}

struct JpegRows::Decoding {
  explicit Decoding(QIODevice& source) : decoder(source) {}
  JpegDecoder decoder;
};

JpegRows::JpegRows(std::unique_ptr<Decoding> decoding) : m_decoding(std::move(decoding)) {}
JpegRows::~JpegRows() = default;

std::unique_ptr<JpegRows> JpegRows::open(QIODevice& source, QSize box, qint64 maxBytes, QString* why) {
  auto decoding = std::make_unique<Decoding>(source);
  JpegDecoder& decoder = decoding->decoder;
  if (!openForScale(decoder, JpegScale::CoverBox, box, maxBytes, why)) return nullptr;
  if (!decoder.start()) {
    refuse(why, decoder.message());
    return nullptr;
  }
  return std::unique_ptr<JpegRows>(new JpegRows(std::move(decoding)));
}

QSize JpegRows::size() const { return m_decoding->decoder.outputSize(); }

bool JpegRows::read(uchar* rows, int count, qsizetype bytesPerLine, QString* why) {
  JpegDecoder& decoder = m_decoding->decoder;
  if (!decoder.readRows(rows, count, bytesPerLine)) {
    refuse(why, decoder.message());
    return false;
  }
  if (decoder.decodedCmyk()) cmykToRgb(rows, size().width(), count, bytesPerLine, decoder.invertedCmyk());
  return true;
}
