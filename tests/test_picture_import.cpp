// Importing the user's own pictures into a local category: where each goes
// by its proportions after orientation, how it is named, what is stored as
// it came and what is converted, and the bad input that writes nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include "library/GridLayout.h"
#include "library/PictureImport.h"
#include "library/StoreRules.h"
#include "picture/ImageDecode.h"
#include "picture/PictureFormat.h"
#include "support/TestPictures.h"

namespace {

QByteArray encode(const QImage& image, const char* format) { return encodePicture(image, format); }

// The JPEG with an Exif segment after its JFIF one holding only the orientation.
QByteArray withOrientation(const QByteArray& jpeg, quint16 orientation) {
  QByteArray tiff("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 18);
  tiff += char(orientation >> 8);
  tiff += char(orientation & 0xff);
  tiff += QByteArray("\0\0\0\0\0\0", 6);
  const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
  QByteArray segment("\xFF\xE1", 2);
  segment += char((body.size() + 2) >> 8);
  segment += char((body.size() + 2) & 0xff);
  const int jfifEnd = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
  return jpeg.left(jfifEnd) + segment + body + jpeg.mid(jfifEnd);
}

quint32 crc32(QByteArrayView bytes) {
  quint32 crc = 0xFFFFFFFFU;
  for (const char byte : bytes) {
    crc ^= quint8(byte);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
  }
  return ~crc;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
  QByteArray chunk(4, '\0');
  qToBigEndian<quint32>(quint32(data.size()), chunk.data());
  QByteArray crc(4, '\0');
  qToBigEndian<quint32>(crc32(type + data), crc.data());
  return chunk + type + data + crc;
}

// A PNG whose header announces the size and whose data is a few bytes.
QByteArray pngHeaderOnly(QSize size) {
  QByteArray header(13, '\0');
  qToBigEndian<quint32>(quint32(size.width()), header.data());
  qToBigEndian<quint32>(quint32(size.height()), header.data() + 4);
  header[8] = 8;  // bits a sample
  header[9] = 2;  // RGB
  return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) +
         pngChunk("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + pngChunk("IEND", {});
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class PictureImportTest : public ::testing::Test {
 protected:
  QString data() const { return m_data.path() + u'/'; }
  QString source(const QString& name) const { return m_sources.path() + u'/' + name; }

  QString put(const QString& name, const QByteArray& bytes) const {
    const QString path = source(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }

  ImportReport run(const QStringList& paths, int category = 2) const {
    CancelToken cancel;
    return importPictures({data(), category, paths}, cancel);
  }

  QString folder(Shape shape, int category = 2) const {
    return categoryFolder(data(), shape, StoreSide::Local, category);
  }

  // Every file the store holds, temporary ones included.
  QStringList storeFiles() const {
    QStringList files;
    QDirIterator it(data(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) files << QDir(data()).relativeFilePath(it.next());
    files.sort();
    return files;
  }

  QTemporaryDir m_data;
  QTemporaryDir m_sources;
};

TEST_F(PictureImportTest, EachPictureGoesToItsShapeUprightWithBothFiles) {
  const QByteArray jpeg = encode(halves(QSize(400, 300)), "jpeg");
  const QString upright = put(QStringLiteral("Beach Day.JPG"), jpeg);
  // Stored 400 x 300 but shown turned a quarter clockwise: a portrait.
  const QString sideways = put(QStringLiteral("phone.jpg"), withOrientation(jpeg, 6));
  const QString wide = put(QStringLiteral("Pano.png"), encode(halves(QSize(960, 400)), "png"));
  const ImportReport report = run({upright, sideways, wide});
  ASSERT_EQ(report.count(ImportOutcome::Imported), 3) << report.refusalLines().join(u'\n').toStdString();

  const ImportedFile& first = report.files[0];
  EXPECT_EQ(first.shape, Shape::Normal);
  EXPECT_TRUE(first.largePath.startsWith(folder(Shape::Normal) + QStringLiteral("l_beach-day-")));
  EXPECT_EQ(readAll(first.largePath), jpeg) << "an upright JPEG is kept byte for byte";
  EXPECT_EQ(QImage(first.thumbnailPath).size(), gridOf(Shape::Normal).imageSize);

  const ImportedFile& turned = report.files[1];
  EXPECT_EQ(turned.shape, Shape::Normal);
  const QImage large(turned.largePath);
  EXPECT_EQ(large.size(), QSize(300, 400));
  // Red was on the left; turned clockwise it is on top.
  EXPECT_GT(qRed(large.pixel(150, 20)), 200);
  EXPECT_GT(qBlue(large.pixel(150, 380)), 200);

  const ImportedFile& panorama = report.files[2];
  EXPECT_EQ(panorama.shape, Shape::Widescreen);
  EXPECT_TRUE(panorama.largePath.startsWith(folder(Shape::Widescreen)));
  EXPECT_EQ(QImageReader(panorama.largePath).format(), "jpeg");
  EXPECT_EQ(QImage(panorama.largePath).size(), QSize(960, 400));
  EXPECT_EQ(QImage(panorama.thumbnailPath).size(), gridOf(Shape::Widescreen).imageSize);
  EXPECT_EQ(report.importedLargePictures(Shape::Widescreen), QStringList{panorama.largePath});
}

TEST_F(PictureImportTest, TheSameBytesAreStoredOnceAndNothingIsReplaced) {
  const QByteArray png = encode(halves(QSize(300, 200)), "png");
  const QString one = put(QStringLiteral("a/sea.png"), png);
  const QString copy = put(QStringLiteral("b/sea copy.png"), png);
  const ImportReport firstRun = run({source(QString())});
  EXPECT_EQ(firstRun.count(ImportOutcome::Imported), 1);
  EXPECT_EQ(firstRun.count(ImportOutcome::AlreadyThere), 1);
  const QStringList stored = storeFiles();
  EXPECT_EQ(stored.size(), 2) << stored.join(u' ').toStdString();

  const ImportReport again = run({one, copy});
  EXPECT_EQ(again.count(ImportOutcome::AlreadyThere), 2);
  EXPECT_EQ(storeFiles(), stored);

  // A JPEG the user put into the category by hand is known by its bytes.
  const QByteArray jpeg = encode(halves(QSize(200, 150)), "jpeg");
  QDir().mkpath(folder(Shape::Normal));
  QFile placed(folder(Shape::Normal) + QStringLiteral("l_mine.jpg"));
  ASSERT_TRUE(placed.open(QIODevice::WriteOnly));
  placed.write(jpeg);
  placed.close();
  EXPECT_EQ(run({put(QStringLiteral("mine again.jpg"), jpeg)}).count(ImportOutcome::AlreadyThere), 1);

  // In another category the same picture is new.
  EXPECT_EQ(run({one}, 3).count(ImportOutcome::Imported), 1);
}

TEST_F(PictureImportTest, NamesAreMadeSafeAndNeverTakeAnotherPicturesPlace) {
  const QString odd = put(QStringLiteral("Été à Nice (1).png"), encode(halves(QSize(300, 200)), "png"));
  const ImportReport report = run({odd});
  ASSERT_EQ(report.count(ImportOutcome::Imported), 1);
  const QString tail = QFileInfo(report.files[0].largePath).fileName().mid(2);
  EXPECT_TRUE(tail.startsWith(QStringLiteral("ete-a-nice-1-"))) << tail.toStdString();
  EXPECT_TRUE(isSafeFileName(QStringLiteral("s_") + tail));

  // A thumbnail left under the name the next picture would take (its large
  // picture gone): the import takes the next name and leaves it be.
  const QString other = put(QStringLiteral("ete a nice 1.png"), encode(halves(QSize(330, 220)), "png"));
  const ImportReport probe = run({other}, 4);
  const QString wanted = QFileInfo(probe.files[0].largePath).fileName().mid(2);
  QFile::copy(folder(Shape::Normal) + QStringLiteral("s_") + tail,
              folder(Shape::Normal) + QStringLiteral("s_") + wanted);
  const QByteArray keptThumbnail = readAll(folder(Shape::Normal) + QStringLiteral("s_") + wanted);
  const ImportReport clash = run({other});
  ASSERT_EQ(clash.count(ImportOutcome::Imported), 1);
  EXPECT_TRUE(clash.files[0].largePath.endsWith(wanted.chopped(4) + QStringLiteral("-2.jpg")))
      << clash.files[0].largePath.toStdString();
  EXPECT_EQ(readAll(folder(Shape::Normal) + QStringLiteral("s_") + wanted), keptThumbnail);
}

TEST_F(PictureImportTest, BadInputGetsOneClearLineAndWritesNothing) {
  const QByteArray jpeg = encode(halves(QSize(400, 300)), "jpeg");
  const QString bomb = put(QStringLiteral("bomb.png"), pngHeaderOnly(QSize(20000, 20000)));
  const QString cut = put(QStringLiteral("cut.jpg"), jpeg.left(jpeg.size() / 2));
  const QString text = put(QStringLiteral("notes.jpg"), "not a picture at all, whatever the name says");
  const QString pipe = source(QStringLiteral("pipe.jpg"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  const QString missing = source(QStringLiteral("gone.jpg"));
  const ImportReport report = run({bomb, cut, text, pipe, missing, QStringLiteral("/dev/zero")});
  EXPECT_EQ(report.count(ImportOutcome::Refused), 6);
  const QStringList lines = report.refusalLines();
  ASSERT_EQ(lines.size(), 6);
  EXPECT_TRUE(lines[0].startsWith(bomb + QStringLiteral(": refused as a decompression bomb")))
      << lines[0].toStdString();
  EXPECT_TRUE(lines[1].contains(QStringLiteral("cut short"))) << lines[1].toStdString();
  EXPECT_EQ(lines[2], text + QStringLiteral(": not a picture"));
  EXPECT_TRUE(lines[3].contains(QStringLiteral("not a regular file"))) << lines[3].toStdString();
  EXPECT_EQ(lines[4], missing + QStringLiteral(": no such file"));
  EXPECT_TRUE(lines[5].contains(QStringLiteral("not a regular file")));
  const ImportRefusal kinds[] = {ImportRefusal::Bomb,     ImportRefusal::Damaged, ImportRefusal::NotAPicture,
                                 ImportRefusal::NotAFile, ImportRefusal::Missing, ImportRefusal::NotAFile};
  for (size_t n = 0; n < std::size(kinds); ++n) EXPECT_EQ(report.files[n].refusal, kinds[n]) << n;
  EXPECT_TRUE(storeFiles().isEmpty()) << storeFiles().join(u' ').toStdString();
}

TEST_F(PictureImportTest, ACategoryFolderThatCannotBeWrittenRefusesEveryPicture) {
  // A file where the category folder should be: no folder can be made there.
  QDir().mkpath(categoryFolder(data(), Shape::Normal, StoreSide::Local, 1).chopped(2));
  QFile blocker(categoryFolder(data(), Shape::Normal, StoreSide::Local, 2).chopped(1));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const QString picture = put(QStringLiteral("a.jpg"), encode(halves(QSize(400, 300)), "jpeg"));
  const ImportReport report = run({picture});
  ASSERT_EQ(report.count(ImportOutcome::Refused), 1);
  EXPECT_TRUE(report.refusalLines()[0].contains(QStringLiteral("cannot be made")));
}

TEST_F(PictureImportTest, ACancelledImportKeepsWhatIsCompleteAndLooksAtNothingMore) {
  const QString picture = put(QStringLiteral("a.jpg"), encode(halves(QSize(400, 300)), "jpeg"));
  CancelToken cancel;
  cancel.cancel();
  const ImportReport report = importPictures({data(), 2, {picture}}, cancel);
  EXPECT_TRUE(report.cancelled);
  EXPECT_TRUE(report.files.empty());
  EXPECT_TRUE(storeFiles().isEmpty());
}

// The picture fuzzer's seeds are real files of these formats, 16 x 12, red
// at the top and blue at the bottom, with the fuzzer's three bytes after them.
QByteArray seedPicture(const char* name) {
  QByteArray bytes =
      readAll(QStringLiteral(NIMBRA_SOURCE_DIR "/tests/fuzz/corpus/picture/") + QLatin1String(name));
  bytes.chop(3);
  return bytes;
}

TEST(LibraryFormatsTest, AvifHeicAndJpegXlDecodeThroughTheirLibraries) {
  for (const char* name : {"seed_avif", "seed_heic", "seed_jxl"}) {
    QByteArray bytes = seedPicture(name);
    ASSERT_FALSE(bytes.isEmpty()) << name;
    QBuffer header(&bytes);
    header.open(QIODevice::ReadOnly);
    EXPECT_EQ(readPictureHeader(header).size, QSize(16, 12)) << name;
    QBuffer source(&bytes);
    source.open(QIODevice::ReadOnly);
    QString why;
    const QImage picture = decodeForSize(source, QSize(), {}, &why);
    ASSERT_EQ(picture.size(), QSize(16, 12)) << name << " " << why.toStdString();
    EXPECT_GT(qRed(picture.pixel(8, 0)), 180) << name;
    EXPECT_GT(qBlue(picture.pixel(8, 11)), 180) << name;
    // Cut short, it is refused with a reason.
    QByteArray cut = bytes.left(bytes.size() * 2 / 3);
    QBuffer cutSource(&cut);
    cutSource.open(QIODevice::ReadOnly);
    why.clear();
    EXPECT_TRUE(decodeForSize(cutSource, QSize(), {}, &why).isNull()) << name;
    EXPECT_FALSE(why.isEmpty()) << name;
  }
}

TEST(ImportWordsTest, ACategoryIsItsNumberOrItsCaptionInAnyCase) {
  const QStringList captions{QStringLiteral("Natur"), QStringLiteral("Zeichentrick"),
                             QStringLiteral("Feiertage"), QStringLiteral("Spiele und Filme"),
                             QStringLiteral("Kunst && Grafik")};
  EXPECT_EQ(categoryOfImportWord(QStringLiteral("2"), captions), 2);
  EXPECT_EQ(categoryOfImportWord(QStringLiteral("cartoon"), captions), 2);
  EXPECT_EQ(categoryOfImportWord(QStringLiteral("GAME AND MOVIES"), {}), 4);
  EXPECT_EQ(categoryOfImportWord(QStringLiteral("kunst & grafik"), captions), 5);
  EXPECT_EQ(categoryOfImportWord(QStringLiteral("6"), captions), 0);
  EXPECT_EQ(categoryOfImportWord(QStringLiteral("Downloaded"), captions), 0);
}

TEST(ImportFormatsTest, AvifHeicAndJpegXlAreToldByTheirFirstBytes) {
  const auto probe = [](QByteArray head) {
    head.append(QByteArray(40, '\0'));
    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly);
    return probePictureFormat(buffer);
  };
  EXPECT_EQ(probe(QByteArray("\0\0\0\x1C"
                             "ftypavif\0\0\0\0avifmif1",
                             24)),
            PictureFormat::Avif);
  // A HEIF container that names AVIF among its brands holds an AVIF picture.
  EXPECT_EQ(probe(QByteArray("\0\0\0\x1C"
                             "ftypmif1\0\0\0\0mif1avif",
                             24)),
            PictureFormat::Avif);
  EXPECT_EQ(probe(QByteArray("\0\0\0\x18"
                             "ftypheic\0\0\0\0mif1",
                             20)),
            PictureFormat::Heif);
  EXPECT_EQ(probe(QByteArray("\0\0\0\x18"
                             "ftypmp42\0\0\0\0isom",
                             20)),
            PictureFormat::Unknown);
  EXPECT_EQ(probe(QByteArray("\xFF\x0A", 2)), PictureFormat::JpegXl);
  EXPECT_EQ(probe(QByteArray("\0\0\0\x0CJXL \r\n\x87\n", 12)), PictureFormat::JpegXl);
}

}  // namespace
