// Saves the X screen as a PNG and prints how many of its pixels have the given colour, so that a
// desktop test can keep what it saw and tell whether a window shows what it must.
// Usage: screen-shot OUT.png RRGGBB
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("Usage: screen-shot OUT.png RRGGBB\n", stderr);
    return 2;
  }
  QGuiApplication application(argc, argv);
  const QColor colour(QStringLiteral("#") + QString::fromLatin1(argv[2]));
  const QImage image = application.primaryScreen()->grabWindow(0).toImage();
  if (image.isNull() || !colour.isValid() || !image.save(QString::fromLocal8Bit(argv[1]))) {
    std::fputs("screen-shot: no screen to grab, or the image could not be saved\n", stderr);
    return 1;
  }
  long matching = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) matching += image.pixel(x, y) == colour.rgb();
  }
  std::printf("%ld\n", matching);
  return 0;
}
