// The staged sample store: the folder layout the program lists, picture
// pairs of the slot sizes, and the colour families that the end-to-end tests
// use to tell the categories apart on screen.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTextStream>

#include "tools/make-samples/SamplePictures.h"

namespace {

const QString kStore = QStringLiteral(NIMBRA_STAGE_DIR "/wallpaper");

struct ShapeCase {
  const char* folder;
  QSize thumbnail;
  QSize large;
};
const ShapeCase kShapeCases[] = {{"normal", {145, 110}, {1600, 1200}},
                                 {"widescreen", {160, 100}, {1920, 1200}}};

QString categoryFolder(const ShapeCase& shape, const char* kind, int category) {
  return QString("%1/%2/%3/%4").arg(kStore, shape.folder, kind).arg(category);
}

// Share of sampled pixels whose colour falls outside the category's family.
double foreignShare(const QImage& image, int category) {
  int foreign = 0, sampled = 0;
  for (int y = 0; y < image.height(); y += 3) {
    for (int x = 0; x < image.width(); x += 3) {
      ++sampled;
      foreign += samples::categoryOfColour(image.pixelColor(x, y)) == category ? 0 : 1;
    }
  }
  return double(foreign) / sampled;
}

TEST(SampleStore, EveryCategoryHoldsItsPairsAtTheSlotSizes) {
  ASSERT_TRUE(QDir(kStore).exists()) << "build the nimbra_stage target first: " << kStore.toStdString();
  for (const ShapeCase& shape : kShapeCases) {
    for (int category = 1; category <= samples::kCategoryCount; ++category) {
      SCOPED_TRACE(QString("%1 %2").arg(shape.folder).arg(category).toStdString());
      const QDir folder(categoryFolder(shape, "local", category));
      const QStringList thumbnails = folder.entryList({"s_*"}, QDir::Files);
      EXPECT_GE(thumbnails.size(), 3);
      EXPECT_EQ(thumbnails.size(), samples::pictureCount(category));
      for (const QString& name : thumbnails) {
        const QImage thumbnail(folder.filePath(name));
        const QImage large(folder.filePath("l_" + name.mid(2)));
        EXPECT_EQ(thumbnail.size(), shape.thumbnail) << name.toStdString();
        EXPECT_EQ(large.size(), shape.large) << name.toStdString();
        EXPECT_LT(foreignShare(thumbnail, category), 0.01) << name.toStdString();
      }
      EXPECT_TRUE(QDir(categoryFolder(shape, "network", category)).isEmpty(QDir::Files));
    }
  }
}

TEST(SampleStore, MostPicturesAreJpegAndSomeAreBmp) {
  int jpeg = 0, bmp = 0;
  for (const ShapeCase& shape : kShapeCases) {
    for (int category = 1; category <= samples::kCategoryCount; ++category) {
      const QDir folder(categoryFolder(shape, "local", category));
      jpeg += folder.entryList({"l_*.jpg"}, QDir::Files).size();
      bmp += folder.entryList({"l_*.bmp"}, QDir::Files).size();
    }
  }
  EXPECT_GT(bmp, 0);
  EXPECT_GT(jpeg, 4 * bmp);
}

TEST(SampleStore, LargePicturesKeepTheirFamilyAfterJpegRounding) {
  // The wallpaper an end-to-end test applies is the large picture; its
  // centre must still name the category after compression.
  for (const samples::Picture& picture : samples::kPictures) {
    const QString base = categoryFolder(kShapeCases[1], "local", picture.category) + "/l_" + picture.stem;
    const QString ext = samples::isBmp(picture, samples::Shape::Widescreen) ? ".bmp" : ".jpg";
    const QImage large(base + ext);
    ASSERT_FALSE(large.isNull()) << base.toStdString();
    const QImage small = large.scaled(192, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LT(foreignShare(small, picture.category), 0.01) << picture.stem;
  }
}

TEST(SampleStore, ManifestNamesEveryFileWithItsColour) {
  QFile manifest(NIMBRA_STAGE_DIR "/samples-manifest.txt");
  ASSERT_TRUE(manifest.open(QIODevice::ReadOnly | QIODevice::Text));
  QTextStream in(&manifest);
  int pictures = 0;
  while (!in.atEnd()) {
    const QStringList fields = in.readLine().split(' ');
    if (fields.size() != 7 || fields[0].startsWith('#')) continue;
    ++pictures;
    const QStringList mean = fields[5].split(',');
    ASSERT_EQ(mean.size(), 3);
    const QColor colour(mean[0].toInt(), mean[1].toInt(), mean[2].toInt());
    EXPECT_EQ(samples::categoryOfColour(colour), fields[1].toInt()) << fields[2].toStdString();
    EXPECT_TRUE(QFile::exists(QString("%1/%2/local/%3/%4").arg(kStore, fields[0], fields[1], fields[2])));
  }
  EXPECT_EQ(pictures, 2 * 2 * int(std::size(samples::kPictures)));
}

TEST(SampleColours, FamiliesDoNotOverlapAndGreysBelongToNone) {
  for (const samples::Family& family : samples::kFamilies) {
    EXPECT_EQ(samples::categoryOfColour(QColor::fromHsv(family.hue, 200, 200)), family.category);
    EXPECT_EQ(samples::categoryOfColour(QColor::fromHsv((family.hue + samples::kHueSpread) % 360, 120, 90)),
              family.category);
  }
  EXPECT_EQ(samples::categoryOfColour(QColor(128, 128, 128)), 0);
  EXPECT_EQ(samples::categoryOfColour(QColor(10, 40, 12)), 0);              // too dark to tell
  EXPECT_EQ(samples::categoryOfColour(QColor::fromHsv(165, 200, 200)), 0);  // between green and blue
}

}  // namespace
