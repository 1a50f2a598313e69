#pragma once

// What every decoder's result must satisfy, whatever the bytes; a
// violation aborts, which libFuzzer reports with the input.
#include "viewer/PictureDecoders.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

namespace quillon::fuzz {

[[noreturn]] inline void broken(const char *what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

inline void checkResult(const viewer::DecodeResult &result, viewer::PictureFormat format) {
  using viewer::Picture;
  if (result.format != format)
    broken("the result names another format");
  if (result.ok() == !result.error.isEmpty())
    broken("a result must hold either a picture or an error");
  if (!result.ok())
    return;
  const Picture &picture = *result.picture;
  if (format == viewer::PictureFormat::None) {
    if (!picture.isNull())
      broken("a value of no format gave a picture");
    return;
  }
  if (picture.size.isEmpty())
    broken("a decoded picture has no size");
  switch (picture.type) {
  case Picture::Type::Bitmap:
  case Picture::Type::Icon:
    if (picture.image.size() != picture.size)
      broken("an image's size differs from the picture's");
    break;
  case Picture::Type::Metafile:
    if (format != viewer::PictureFormat::Wmf)
      broken("a metafile from another format");
    break;
  case Picture::Type::None:
    broken("a decoded picture of no type");
  }
}

// Metafile text needs fonts, fonts need a GUI application; the offscreen
// platform needs no display.
inline void startGuiApplication() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "fuzz";
  static char *argv[] = {name, nullptr};
  static QGuiApplication *app = new QGuiApplication(argc, argv);
  (void)app;
}

} // namespace quillon::fuzz
