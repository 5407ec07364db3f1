// Any other X11 session: the picture, stretched to the screen, becomes the
// root window's background pixmap. The pixmap is made on a connection of its
// own that is closed with RetainPermanent, so it outlives this program, and it
// is published in _XROOTPMAP_ID and ESETROOT_PMAP_ID so that terminals and
// panels with pseudo-transparency find it, and so that the next program that
// sets a background can free it.
#include <QImage>
#include <QImageReader>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

#include "platform/FileNames.h"
#include "platform/WallpaperSetter.h"

// Xlib defines macros (None, Status, Bool...) that break Qt headers, so it
// comes after every other header.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
// clang-format on

namespace {

// Xlib reports protocol errors to one process-wide handler whose default ends
// the process. While a trap lives, errors are counted instead; a trap inside
// another keeps its errors to itself.
class XErrorTrap {
 public:
  XErrorTrap() : m_start(s_count), m_previous(XSetErrorHandler(&Count)) {}
  ~XErrorTrap() {
    s_count = m_start;
    XSetErrorHandler(m_previous);
  }
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // Errors of the requests sent since the trap was set.
  int errorsAfterSync(Display* display) const {
    XSync(display, False);
    return s_count - m_start;
  }

 private:
  static int Count(Display*, XErrorEvent*) {
    ++s_count;
    return 0;
  }

  static inline int s_count = 0;
  int m_start;
  XErrorHandler m_previous;
};

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayConnection = std::unique_ptr<Display, DisplayCloser>;

struct ImageDestroyer {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using ImageHandle = std::unique_ptr<XImage, ImageDestroyer>;

// For each 8-bit value of one colour channel, its bits in a pixel of the visual.
using ChannelTable = std::array<unsigned long, 256>;

ChannelTable MakeChannelTable(unsigned long mask) {
  ChannelTable table{};
  if (mask == 0) return table;
  const int shift = std::countr_zero(mask);
  const unsigned long top = mask >> shift;
  for (unsigned value = 0; value < table.size(); ++value)
    table[value] = (((value * top + 127) / 255) << shift) & mask;
  return table;
}

int NativeByteOrder() { return std::endian::native == std::endian::little ? LSBFirst : MSBFirst; }

// The server-side image of the stretched picture, in the screen's pixel format.
ImageHandle MakeScreenImage(Display* display, Visual* visual, int depth, const QImage& picture,
                            QString& why) {
  const int width = picture.width();
  const int height = picture.height();
  ImageHandle image(XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0));
  if (!image || image->bytes_per_line <= 0) {
    why = QStringLiteral("the screen's pixel format is not supported");
    return nullptr;
  }
  const auto rowBytes = static_cast<std::size_t>(image->bytes_per_line);
  if (static_cast<std::size_t>(height) > std::numeric_limits<std::size_t>::max() / rowBytes) {
    why = QStringLiteral("the screen is too large");
    return nullptr;
  }
  // XDestroyImage releases the pixels with free().
  image->data = static_cast<char*>(std::malloc(rowBytes * static_cast<std::size_t>(height)));
  if (!image->data) {
    why = QStringLiteral("not enough memory for a screen-sized picture");
    return nullptr;
  }
  const ChannelTable red = MakeChannelTable(visual->red_mask);
  const ChannelTable green = MakeChannelTable(visual->green_mask);
  const ChannelTable blue = MakeChannelTable(visual->blue_mask);
  const auto pixelOf = [&](QRgb colour) {
    return red[qRed(colour)] | green[qGreen(colour)] | blue[qBlue(colour)];
  };
  // The usual screen keeps 32-bit pixels in this machine's byte order; those
  // are written directly, every other layout through Xlib's general writer.
  const bool nativeWords = image->bits_per_pixel == 32 && image->byte_order == NativeByteOrder();
  for (int y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    auto* row = reinterpret_cast<std::uint32_t*>(image->data + static_cast<std::size_t>(y) * rowBytes);
    for (int x = 0; x < width; ++x) {
      if (nativeWords)
        row[x] = static_cast<std::uint32_t>(pixelOf(line[x]));
      else
        XPutPixel(image.get(), x, y, pixelOf(line[x]));
    }
  }
  return image;
}

// The id a root property holds when it names a pixmap, else None.
Pixmap RootPixmapProperty(Display* display, Window root, const char* name) {
  const Atom atom = XInternAtom(display, name, True);
  if (atom == None) return None;
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  Pixmap pixmap = None;
  if (XGetWindowProperty(display, root, atom, 0, 1, False, XA_PIXMAP, &type, &format, &items, &remaining,
                         &data) == Success &&
      type == XA_PIXMAP && format == 32 && items == 1 && data)
    pixmap = static_cast<Pixmap>(*reinterpret_cast<unsigned long*>(data));
  if (data) XFree(data);
  return pixmap;
}

// The convention of the root-pixmap setters: when both properties name the
// same pixmap, it belongs to a retained connection of the previous setter,
// and killing that connection frees it. When they differ, a running desktop
// program owns the background and must be left alone.
void FreePreviousPixmap(Display* display, Window root) {
  const Pixmap shown = RootPixmapProperty(display, root, "_XROOTPMAP_ID");
  const Pixmap retained = RootPixmapProperty(display, root, "ESETROOT_PMAP_ID");
  if (shown == None || shown != retained) return;
  const XErrorTrap trap;  // the pixmap may be gone already
  XKillClient(display, retained);
  trap.errorsAfterSync(display);
}

void PublishRootPixmap(Display* display, Window root, Pixmap pixmap) {
  for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
    const Atom atom = XInternAtom(display, name, False);
    XChangeProperty(display, root, atom, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pixmap), 1);
  }
  XSetWindowBackgroundPixmap(display, root, pixmap);
  XClearWindow(display, root);
}

// Opened by the name's own bytes, which need not be UTF-8.
QImage ReadPicture(const QString& path, QString& why) {
  const std::unique_ptr<QFile> file = OpenFileForReading(path);
  if (!file) {
    why = QStringLiteral("cannot open the picture %1").arg(path);
    return {};
  }
  QImageReader reader(file.get());
  QImage picture = reader.read();
  if (picture.isNull())
    why = QStringLiteral("cannot read the picture %1: %2").arg(path, reader.errorString());
  return picture;
}

class X11RootSetter : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString& path) override {
    DisplayConnection display(XOpenDisplay(nullptr));
    if (!display) return SetResult::unavailable(QStringLiteral("cannot open the X display"));
    const int screen = DefaultScreen(display.get());
    Visual* visual = DefaultVisual(display.get(), screen);
    if (visual->c_class != TrueColor && visual->c_class != DirectColor)
      return SetResult::failed(QStringLiteral("the screen's colour model is not supported"));

    QString why;
    const QImage picture = ReadPicture(path, why);
    if (picture.isNull()) return SetResult::failed(why);
    const QImage stretched =
        picture
            .scaled(DisplayWidth(display.get(), screen), DisplayHeight(display.get(), screen),
                    Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    if (stretched.isNull())
      return SetResult::failed(QStringLiteral("not enough memory to stretch the picture"));
    const int depth = DefaultDepth(display.get(), screen);
    const ImageHandle image = MakeScreenImage(display.get(), visual, depth, stretched, why);
    if (!image) return SetResult::failed(why);
    return publish(display.get(), RootWindow(display.get(), screen), depth, image.get());
  }

  QString name() const override { return QStringLiteral("X11 root window"); }

 private:
  static SetResult publish(Display* display, Window root, int depth, XImage* image) {
    const XErrorTrap trap;
    const auto width = static_cast<unsigned>(image->width);
    const auto height = static_cast<unsigned>(image->height);
    const Pixmap pixmap = XCreatePixmap(display, root, width, height, static_cast<unsigned>(depth));
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XPutImage(display, pixmap, gc, image, 0, 0, 0, 0, width, height);
    XFreeGC(display, gc);
    // Nothing is changed on the screen unless the whole picture arrived.
    if (trap.errorsAfterSync(display) != 0)
      return SetResult::failed(QStringLiteral("the X server could not store a screen-sized picture"));
    FreePreviousPixmap(display, root);
    PublishRootPixmap(display, root, pixmap);
    XSetCloseDownMode(display, RetainPermanent);
    if (trap.errorsAfterSync(display) != 0)
      return SetResult::failed(QStringLiteral("the X server refused the new background"));
    return SetResult::applied();
  }
};

}  // namespace

std::unique_ptr<WallpaperSetter> MakeX11RootSetter() { return std::make_unique<X11RootSetter>(); }

unsigned long X11RootPixmapId() {
  const DisplayConnection display(XOpenDisplay(nullptr));
  if (!display) return None;
  return RootPixmapProperty(display.get(), DefaultRootWindow(display.get()), "_XROOTPMAP_ID");
}

bool X11PixmapExists(unsigned long id) {
  const DisplayConnection display(XOpenDisplay(nullptr));
  if (!display || id == None) return false;
  const XErrorTrap trap;
  Window root = None;
  int x = 0;
  int y = 0;
  unsigned width = 0;
  unsigned height = 0;
  unsigned border = 0;
  unsigned depth = 0;
  const Status found = XGetGeometry(display.get(), id, &root, &x, &y, &width, &height, &border, &depth);
  return found != 0 && trap.errorsAfterSync(display.get()) == 0;
}
