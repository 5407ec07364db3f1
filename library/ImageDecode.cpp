#include "library/ImageDecode.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSysInfo>
#include <csetjmp>
#include <cstdio>
#include <future>
#include <memory>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "platform/FileNames.h"

namespace {

// A hostile progressive file can carry thousands of tiny scans that each
// cost a full pass; well-formed files use a dozen or so.
constexpr int kMaxProgressiveScans = 500;

bool SetError(QString* error, const QString& text) {
  if (error) *error = text;
  return false;
}

QImage Refuse(QString* error, const QString& text) {
  SetError(error, text);
  return {};
}

QImage RefuseTooLarge(QString* error, const QString& file, QSize size) {
  return Refuse(
      error,
      QStringLiteral("%1: picture too large (%2 x %3)").arg(file).arg(size.width()).arg(size.height()));
}

bool FitsDecodeLimit(qint64 width, qint64 height) {
  return width > 0 && height > 0 && width * height * 4 <= kMaxDecodedPictureBytes;
}

// libjpeg reports fatal errors through error_exit, whose default ends the
// process. Ours jumps back into the decoder call that is running, which
// then fails; the decompressor is destroyed normally afterwards.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void AbortDecode(j_common_ptr cinfo) {
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
bool IsDamagedData(int messageCode) {
  return messageCode == JWRN_JPEG_EOF || messageCode == JWRN_HIT_MARKER || messageCode == JWRN_MUST_RESYNC;
}

void OnJpegMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  if (IsDamagedData(cinfo->err->msg_code)) AbortDecode(cinfo);
  ++cinfo->err->num_warnings;
}

void LimitScans(j_common_ptr cinfo) {
  auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (decompress->progressive_mode && decompress->input_scan_number > kMaxProgressiveScans) {
    std::snprintf(reinterpret_cast<JpegErrorManager*>(cinfo->err)->message, JMSG_LENGTH_MAX,
                  "too many progressive scans");
    std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
  }
}

bool IsCmyk(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

enum class JpegScale { Full, CoverBox };

// One decompression. Every step that may end in libjpeg's error handler sets
// its own jump target and keeps no object with a destructor, so the jump
// skips nothing.
class JpegDecoder {
 public:
  JpegDecoder() {
    m_cinfo.err = jpeg_std_error(&m_error.pub);
    m_error.pub.error_exit = AbortDecode;
    m_error.pub.emit_message = OnJpegMessage;
    m_error.message[0] = '\0';
    m_progress.progress_monitor = LimitScans;
  }
  ~JpegDecoder() {
    if (m_created) jpeg_destroy_decompress(&m_cinfo);
  }
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  // `data` must outlive the decoder.
  bool Open(const QByteArray& data) {
    if (setjmp(m_error.jump)) return false;
    jpeg_create_decompress(&m_cinfo);
    m_created = true;
    m_cinfo.mem->max_memory_to_use = kMaxDecodedPictureBytes;
    m_cinfo.progress = &m_progress;
    jpeg_mem_src(&m_cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 (unsigned long)data.size());
    jpeg_read_header(&m_cinfo, TRUE);
    m_cinfo.out_color_space = IsCmyk(m_cinfo.jpeg_color_space) ? JCS_CMYK : NativeRgb32Space();
    return true;
  }

  QSize SourceSize() const { return QSize(int(m_cinfo.image_width), int(m_cinfo.image_height)); }

  // Sets the output size: the picture's own, or the smallest DCT scale whose
  // output still covers `box` (a box larger than the picture gets it whole).
  bool ChooseScale(JpegScale scale, QSize box) {
    if (setjmp(m_error.jump)) return false;
    for (unsigned num = scale == JpegScale::Full ? 8 : 1; num <= 8; ++num) {
      m_cinfo.scale_num = num;
      m_cinfo.scale_denom = 8;
      jpeg_calc_output_dimensions(&m_cinfo);
      if (int(m_cinfo.output_width) >= box.width() && int(m_cinfo.output_height) >= box.height()) break;
    }
    return true;
  }

  bool Start() {
    if (setjmp(m_error.jump)) return false;
    jpeg_start_decompress(&m_cinfo);
    return true;
  }

  QSize OutputSize() const { return QSize(int(m_cinfo.output_width), int(m_cinfo.output_height)); }

  // Reads every row into a buffer of four bytes a pixel.
  bool ReadRows(uchar* bits, qsizetype bytesPerLine) {
    if (setjmp(m_error.jump)) return false;
    while (m_cinfo.output_scanline < m_cinfo.output_height) {
      JSAMPROW row = bits + qsizetype(m_cinfo.output_scanline) * bytesPerLine;
      jpeg_read_scanlines(&m_cinfo, &row, 1);
    }
    jpeg_finish_decompress(&m_cinfo);
    return true;
  }

  bool DecodedCmyk() const { return m_cinfo.out_color_space == JCS_CMYK; }
  // Adobe's writers store CMYK inverted; they are the ones that add the marker.
  bool InvertedCmyk() const { return m_cinfo.saw_Adobe_marker; }
  QString Message() const { return QString::fromLocal8Bit(m_error.message); }

 private:
  static J_COLOR_SPACE NativeRgb32Space() {
    // QImage::Format_RGB32 holds 0xffRRGGBB words, whose byte order follows the machine's.
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
  }

  jpeg_decompress_struct m_cinfo{};
  JpegErrorManager m_error{};
  jpeg_progress_mgr m_progress{};
  bool m_created = false;
};

void CmykToRgb(QImage& image, bool inverted) {
  for (int y = 0; y < image.height(); ++y) {
    auto* pixel = reinterpret_cast<QRgb*>(image.scanLine(y));
    const uchar* cmyk = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x, cmyk += 4) {
      const int c = inverted ? cmyk[0] : 255 - cmyk[0];
      const int m = inverted ? cmyk[1] : 255 - cmyk[1];
      const int yellow = inverted ? cmyk[2] : 255 - cmyk[2];
      const int k = inverted ? cmyk[3] : 255 - cmyk[3];
      pixel[x] = qRgb(c * k / 255, m * k / 255, yellow * k / 255);
    }
  }
}

QImage DecodeJpeg(QFile& stream, const QString& file, JpegScale scale, QSize box, QString* error) {
  // Read whole: it spares libjpeg a refill call for every few kilobytes.
  if (stream.size() > kMaxDecodedPictureBytes)
    return Refuse(error, QStringLiteral("%1: file too large").arg(file));
  const QByteArray data = stream.readAll();
  JpegDecoder decoder;
  const auto fail = [&] { return Refuse(error, file + QStringLiteral(": ") + decoder.Message()); };
  if (!decoder.Open(data) || !decoder.ChooseScale(scale, box)) return fail();
  const QSize output = decoder.OutputSize();
  if (!FitsDecodeLimit(output.width(), output.height()))
    return RefuseTooLarge(error, file, decoder.SourceSize());
  if (!decoder.Start()) return fail();
  QImage image(output, QImage::Format_RGB32);
  if (image.isNull()) return Refuse(error, QStringLiteral("%1: out of memory").arg(file));
  if (!decoder.ReadRows(image.bits(), image.bytesPerLine())) return fail();
  if (decoder.DecodedCmyk()) CmykToRgb(image, decoder.InvertedCmyk());
  return image;
}

// Qt's reader shows a cut-off bitmap with its missing rows blank; the file
// header's total size tells that rows are missing.
bool BitmapIsCut(QFile& stream) {
  const QByteArray header = stream.peek(6);
  if (header.size() < 6 || !header.startsWith("BM")) return false;
  const auto* size = reinterpret_cast<const uchar*>(header.constData()) + 2;
  const qint64 declared =
      qint64(size[0]) | qint64(size[1]) << 8 | qint64(size[2]) << 16 | qint64(size[3]) << 24;
  return declared > stream.size();
}

QImage DecodeWithQt(QFile& stream, const QString& file, QString* error) {
  if (BitmapIsCut(stream)) return Refuse(error, QStringLiteral("%1: the file is cut short").arg(file));
  QImageReader reader(&stream);
  const QSize size = reader.size();
  if (size.isValid() && !FitsDecodeLimit(size.width(), size.height()))
    return RefuseTooLarge(error, file, size);
  QImage image = reader.read();
  if (image.isNull()) SetError(error, file + QStringLiteral(": ") + reader.errorString());
  return image;
}

QString DescribeOpenFailure(OpenFailure failure, const QString& file) {
  switch (failure) {
    case OpenFailure::Missing:
      return QStringLiteral("%1: no such file").arg(file);
    case OpenFailure::NotAFile:
      return QStringLiteral("%1: not a regular file").arg(file);
    case OpenFailure::Unreadable:
    case OpenFailure::None:
      break;
  }
  return QStringLiteral("%1: cannot be opened").arg(file);
}

// Opened by the name's own bytes, which need not be UTF-8; a pipe or device
// named like a picture, which would block the reader for ever, is refused.
QImage Decode(const QString& file, JpegScale scale, QSize box, QString* error) {
  OpenFailure failure = OpenFailure::None;
  const std::unique_ptr<QFile> stream = OpenFileForReading(file, &failure);
  if (!stream) return Refuse(error, DescribeOpenFailure(failure, file));
  return HasJpegExtension(file) ? DecodeJpeg(*stream, file, scale, box, error)
                                : DecodeWithQt(*stream, file, error);
}

}  // namespace

bool HasJpegExtension(const QString& file) {
  const QString suffix = QFileInfo(file).suffix();
  return suffix.compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0 ||
         suffix.compare(QLatin1String("jpeg"), Qt::CaseInsensitive) == 0 ||
         suffix.compare(QLatin1String("jpe"), Qt::CaseInsensitive) == 0;
}

QImage LoadPictureForBox(const QString& file, QSize box, QString* error) {
  if (box.isEmpty()) return Refuse(error, QStringLiteral("%1: empty picture box").arg(file));
  const QImage picture = Decode(file, JpegScale::CoverBox, box, error);
  if (picture.isNull()) return picture;
  return picture.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage LoadPicture(const QString& file, QString* error) {
  return Decode(file, JpegScale::Full, QSize(), error);
}

std::vector<QImage> LoadPicturesForBox(const QStringList& files, QSize box, QStringList* errors) {
  std::vector<std::future<QImage>> pending;
  std::vector<QString> reasons(files.size());
  for (qsizetype i = 0; i < files.size(); ++i)
    pending.push_back(
        std::async(std::launch::async, [&, i] { return LoadPictureForBox(files[i], box, &reasons[i]); }));
  std::vector<QImage> pictures;
  for (auto& picture : pending) pictures.push_back(picture.get());
  if (errors) {
    errors->clear();
    for (const QString& reason : reasons) errors->append(reason);
  }
  return pictures;
}
