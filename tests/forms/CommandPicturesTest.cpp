// The commands' pictures and the program icons: present where the image list
// has a picture, empty elsewhere, and each one drawn and distinct.
#include "forms/CommandPictures.h"

#include <QImage>
#include <QPixmap>
#include <QSet>

#include <gtest/gtest.h>

#include <vector>

using namespace quillon::forms;

namespace {

const std::vector<int> kListed = {3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};

QImage imageOf(const QIcon &icon, int size) {
  return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Fails unless the image has fully opaque pixels in more than one colour.
void expectDrawn(const QImage &image, const std::string &what) {
  int opaque = 0;
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (qAlpha(pixel) == 255)
        ++opaque;
      colours.insert(pixel);
    }
  EXPECT_GT(opaque, 0) << what << " has no opaque pixel";
  EXPECT_GT(colours.size(), 1) << what << " is all one colour";
}

} // namespace

TEST(CommandPictures, ListedIndicesGiveDrawnSixteenPixelPictures) {
  for (const int index : kListed) {
    const QIcon icon = commandPicture(index);
    ASSERT_FALSE(icon.isNull()) << "index " << index;
    const QPixmap pixmap = icon.pixmap(16, 16);
    ASSERT_FALSE(pixmap.isNull()) << "index " << index;
    EXPECT_EQ(pixmap.size(), QSize(16, 16)) << "index " << index;
    expectDrawn(imageOf(icon, 16), "picture " + std::to_string(index));
  }
}

TEST(CommandPictures, AreDrawnForHighDensityScreens) {
  for (const int index : kListed) {
    const QList<QSize> sizes = commandPicture(index).availableSizes();
    for (const int size : {16, 32, 48})
      EXPECT_TRUE(sizes.contains(QSize(size, size))) << "index " << index << " size " << size;
  }
}

TEST(CommandPictures, DifferPairwise) {
  std::vector<QImage> images;
  for (const int index : kListed)
    images.push_back(imageOf(commandPicture(index), 16));
  for (size_t i = 0; i < images.size(); ++i)
    for (size_t j = i + 1; j < images.size(); ++j)
      EXPECT_NE(images[i], images[j]) << "pictures " << kListed[i] << " and " << kListed[j];
}

TEST(CommandPictures, UnlistedIndicesAreEmpty) {
  for (const int index : {-1, 0, 1, 2, 4, 5, 20, 21, 100})
    EXPECT_TRUE(commandPicture(index).isNull()) << "index " << index;
}

TEST(ProgramIcons, ProgramIconIsDrawnAtEverySize) {
  const QIcon icon = programIcon();
  ASSERT_FALSE(icon.isNull());
  const QList<QSize> sizes = icon.availableSizes();
  for (const int size : {16, 32, 48, 256}) {
    EXPECT_TRUE(sizes.contains(QSize(size, size))) << "size " << size;
    expectDrawn(imageOf(icon, size), "program icon at " + std::to_string(size));
  }
}

TEST(ProgramIcons, DefaultIconIsThirtyTwoPixelsAndDiffersFromOurs) {
  const QIcon icon = defaultProgramIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
  const QImage image = imageOf(icon, 32);
  EXPECT_EQ(image.size(), QSize(32, 32));
  expectDrawn(image, "default program icon");
  EXPECT_NE(image, imageOf(programIcon(), 32));
}

TEST(ProgramIcons, DefaultIconKeepsToSixteenColours) {
  // The standard 16 colours; drawn without smoothing, so no blends appear.
  const QSet<QRgb> palette = {
      qRgb(0, 0, 0),          qRgb(0x80, 0, 0),    qRgb(0, 0x80, 0),    qRgb(0x80, 0x80, 0),
      qRgb(0, 0, 0x80),       qRgb(0x80, 0, 0x80), qRgb(0, 0x80, 0x80), qRgb(0xc0, 0xc0, 0xc0),
      qRgb(0x80, 0x80, 0x80), qRgb(0xff, 0, 0),    qRgb(0, 0xff, 0),    qRgb(0xff, 0xff, 0),
      qRgb(0, 0, 0xff),       qRgb(0xff, 0, 0xff), qRgb(0, 0xff, 0xff), qRgb(0xff, 0xff, 0xff)};
  const QImage image = imageOf(defaultProgramIcon(), 32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (qAlpha(pixel) == 0)
        continue;
      EXPECT_EQ(qAlpha(pixel), 255) << x << "," << y;
      EXPECT_TRUE(palette.contains(pixel)) << x << "," << y;
    }
}
