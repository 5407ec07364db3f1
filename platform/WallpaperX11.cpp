// Any other X11 session: the picture, stretched to the screen, becomes the
// root window's background pixmap. The pixmap is made on a connection of its
// own that is closed with RetainPermanent, so it outlives this program, and it
// is published in _XROOTPMAP_ID and ESETROOT_PMAP_ID so that terminals and
// panels with pseudo-transparency find it, and so that the next program that
// sets a background can free it.
#include <QRect>
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/LargeBuffer.h"
#include "platform/PixmanCalls.h"
#include "platform/ScreenPicture.h"
#include "platform/WallpaperSetter.h"

// Xlib defines macros (None, Status, Bool...) that break Qt headers, so it
// comes after every other header.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
// clang-format on

namespace {

// Xlib reports protocol errors to one process-wide handler whose default ends
// the process. While a trap lives, errors are counted instead; a trap inside
// another keeps its errors to itself.
class XErrorTrap {
 public:
  XErrorTrap() : m_start(s_count), m_previous(XSetErrorHandler(&count)) {}
  ~XErrorTrap() {
    s_count = m_start;
    XSetErrorHandler(m_previous);
  }
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // Errors of the requests sent since the trap was set.
  int errorsAfterSync(Display* display) const {
    XSync(display, False);
    return errorsSoFar();
  }
  // Enough without a sync when the last request had a reply: Xlib handles
  // the errors of earlier requests before it returns a reply.
  int errorsSoFar() const { return s_count - m_start; }

 private:
  static int count(Display*, XErrorEvent*) {
    ++s_count;
    return 0;
  }

  // Setters may run on more than one worker thread.
  static inline std::atomic<int> s_count{0};
  int m_start;
  XErrorHandler m_previous;
};

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayConnection = std::unique_ptr<Display, DisplayCloser>;

// For each 8-bit value of one colour channel, its bits in a pixel of the visual.
using ChannelTable = std::array<unsigned long, 256>;

ChannelTable makeChannelTable(unsigned long mask) {
  ChannelTable table{};
  if (mask == 0) return table;
  const int shift = std::countr_zero(mask);
  const unsigned long top = mask >> shift;
  for (unsigned value = 0; value < table.size(); ++value)
    table[value] = (((value * top + 127) / 255) << shift) & mask;
  return table;
}

int nativeByteOrder() { return std::endian::native == std::endian::little ? LSBFirst : MSBFirst; }

// The pixman format whose memory is exactly the image's, when there is one:
// the usual screens (32-bit words with 8-bit channels, 16-bit 5-6-5) in this
// machine's byte order.
pixman_format_code_t pixmanFormatOf(const XImage& image, const PixmanCalls& pixman) {
  const auto channel = [](unsigned long mask) {
    return std::pair{mask == 0 ? 0 : std::countr_zero(mask), std::popcount(mask)};
  };
  const auto [redShift, redBits] = channel(image.red_mask);
  const auto [greenShift, greenBits] = channel(image.green_mask);
  const auto [blueShift, blueBits] = channel(image.blue_mask);
  const int bpp = image.bits_per_pixel;
  const bool contiguous = std::has_single_bit((image.red_mask >> redShift) + 1) &&
                          std::has_single_bit((image.green_mask >> greenShift) + 1) &&
                          std::has_single_bit((image.blue_mask >> blueShift) + 1);
  if ((image.byte_order != nativeByteOrder() && bpp != 8) || !contiguous || image.depth > bpp)
    return pixman_format_code_t(0);
  pixman_format_code_t format = pixman_format_code_t(0);
  if (blueShift == 0 && greenShift == blueBits && redShift == greenShift + greenBits)
    format = pixman_format_code_t(PIXMAN_FORMAT(bpp, PIXMAN_TYPE_ARGB, 0, redBits, greenBits, blueBits));
  else if (redShift == 0 && greenShift == redBits && blueShift == greenShift + greenBits)
    format = pixman_format_code_t(PIXMAN_FORMAT(bpp, PIXMAN_TYPE_ABGR, 0, redBits, greenBits, blueBits));
  return pixman.formatSupportedDestination(format) ? format : pixman_format_code_t(0);
}

// The screen-sized picture on its way to the server, in the screen's pixel
// format. It travels in the requests of XPutImage. MIT-SHM would spare the
// socket, but for one picture sent once it costs more than it saves: on a
// 3840x2160 screen the server spent about 30 ms of processor time on each
// fresh shared segment against 8 ms reading the same pixels from the socket.
class ScreenImage {
 public:
  static std::unique_ptr<ScreenImage> create(const PixmanCalls& pixman, Display* display, Visual* visual,
                                             int depth, QSize size, QString& why) {
    std::unique_ptr<ScreenImage> screen(new ScreenImage(pixman, display));
    if (!screen->createImage(visual, depth, size, why) || !screen->wrapForPixman(why)) return nullptr;
    return screen;
  }

  ~ScreenImage() {
    if (m_target) m_pixman.imageUnref(m_target);
    if (m_image) XDestroyImage(m_image);
  }
  ScreenImage(const ScreenImage&) = delete;
  ScreenImage& operator=(const ScreenImage&) = delete;

  // What pixman draws into.
  pixman_image_t* target() const { return m_target; }
  unsigned width() const { return unsigned(m_image->width); }
  unsigned height() const { return unsigned(m_image->height); }

  // Sends the pixels to `drawable`; errors surface at the caller's next sync.
  void sendTo(Drawable drawable) {
    if (!m_direct) convertForServer();
    GC gc = XCreateGC(m_display, drawable, 0, nullptr);
    XPutImage(m_display, drawable, gc, m_image, 0, 0, 0, 0, unsigned(m_image->width),
              unsigned(m_image->height));
    XFreeGC(m_display, gc);
  }

 private:
  ScreenImage(const PixmanCalls& pixman, Display* display) : m_pixman(pixman), m_display(display) {}

  bool createImage(Visual* visual, int depth, QSize size, QString& why) {
    m_image = XCreateImage(m_display, visual, unsigned(depth), ZPixmap, 0, nullptr, unsigned(size.width()),
                           unsigned(size.height()), 32, 0);
    if (!m_image || m_image->bytes_per_line <= 0) {
      why = QStringLiteral("the screen's pixel format is not supported");
      return false;
    }
    // XDestroyImage releases the pixels with free().
    m_image->data = static_cast<char*>(
        allocateLargeBuffer(std::size_t(m_image->bytes_per_line) * std::size_t(size.height())));
    if (!m_image->data) {
      why = QStringLiteral("not enough memory for a screen-sized picture");
      return false;
    }
    return true;
  }

  // pixman draws straight into the image when it knows its format, else into
  // a buffer of 32-bit pixels that is converted pixel by pixel.
  bool wrapForPixman(QString& why) {
    const pixman_format_code_t format = pixmanFormatOf(*m_image, m_pixman);
    m_direct = format != 0;
    m_target =
        m_direct
            ? m_pixman.imageCreateBits(format, m_image->width, m_image->height,
                                       reinterpret_cast<uint32_t*>(m_image->data), m_image->bytes_per_line)
            : m_pixman.imageCreateBits(PIXMAN_x8r8g8b8, m_image->width, m_image->height, nullptr, 0);
    if (!m_target) why = QStringLiteral("not enough memory for a screen-sized picture");
    return m_target != nullptr;
  }

  void convertForServer() {
    const ChannelTable red = makeChannelTable(m_image->red_mask);
    const ChannelTable green = makeChannelTable(m_image->green_mask);
    const ChannelTable blue = makeChannelTable(m_image->blue_mask);
    const auto* pixels = reinterpret_cast<const std::uint8_t*>(m_pixman.imageGetData(m_target));
    const int stride = m_pixman.imageGetStride(m_target);
    for (int y = 0; y < m_image->height; ++y) {
      const auto* line = reinterpret_cast<const std::uint32_t*>(pixels + std::ptrdiff_t(y) * stride);
      for (int x = 0; x < m_image->width; ++x) {
        const std::uint32_t colour = line[x];
        XPutPixel(m_image, x, y,
                  red[(colour >> 16) & 0xff] | green[(colour >> 8) & 0xff] | blue[colour & 0xff]);
      }
    }
  }

  const PixmanCalls& m_pixman;
  Display* m_display;
  XImage* m_image = nullptr;
  bool m_direct = false;
  pixman_image_t* m_target = nullptr;
};

std::vector<QRect> randrMonitors(Display* display, Window root) {
  std::vector<QRect> monitors;
  int event = 0;
  int error = 0;
  int major = 0;
  int minor = 0;
  if (!XRRQueryExtension(display, &event, &error) || !XRRQueryVersion(display, &major, &minor) ||
      (major == 1 && minor < 5))
    return monitors;
  int count = 0;
  if (XRRMonitorInfo* found = XRRGetMonitors(display, root, True, &count)) {
    for (int i = 0; i < count; ++i)
      monitors.emplace_back(found[i].x, found[i].y, found[i].width, found[i].height);
    XRRFreeMonitors(found);
  }
  return monitors;
}

std::vector<QRect> xineramaHeads(Display* display) {
  std::vector<QRect> heads;
  int event = 0;
  int error = 0;
  // An inactive Xinerama answers with no heads.
  if (!XineramaQueryExtension(display, &event, &error)) return heads;
  int count = 0;
  if (XineramaScreenInfo* found = XineramaQueryScreens(display, &count)) {
    for (int i = 0; i < count; ++i)
      heads.emplace_back(found[i].x_org, found[i].y_org, found[i].width, found[i].height);
    XFree(found);
  }
  return heads;
}

// The rectangles of the monitors, each of which shows the whole picture:
// RandR's monitors, which may also join or split outputs as the user set
// them; Xinerama's heads where RandR knows fewer, as on a server that joins
// several screens into one, where RandR sees only the first; the whole
// screen when neither knows any.
std::vector<QRect> monitorAreas(Display* display, Window root, QSize screen) {
  const XErrorTrap trap;
  std::vector<QRect> found = randrMonitors(display, root);
  std::vector<QRect> heads = xineramaHeads(display);
  if (heads.size() > found.size()) found = std::move(heads);
  if (trap.errorsSoFar() != 0) found.clear();
  const QRect whole(QPoint(0, 0), screen);
  std::vector<QRect> areas;
  for (const QRect& monitor : found) {
    const QRect area = monitor.intersected(whole);
    if (!area.isEmpty()) areas.push_back(area);
  }
  if (areas.empty()) areas.push_back(whole);
  return areas;
}

// The size that covers every monitor: the picture is decoded no larger.
QSize largestMonitor(const std::vector<QRect>& areas) {
  QSize largest;
  for (const QRect& area : areas) largest = largest.expandedTo(area.size());
  return largest;
}

// The id a root property holds when it names a pixmap, else None.
Pixmap rootPixmapProperty(Display* display, Window root, const char* name) {
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
void freePreviousPixmap(Display* display, Window root) {
  const Pixmap shown = rootPixmapProperty(display, root, "_XROOTPMAP_ID");
  const Pixmap retained = rootPixmapProperty(display, root, "ESETROOT_PMAP_ID");
  if (shown == None || shown != retained) return;
  const XErrorTrap trap;  // the pixmap may be gone already
  XKillClient(display, retained);
  trap.errorsAfterSync(display);
}

void publishRootPixmap(Display* display, Window root, Pixmap pixmap) {
  for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
    const Atom atom = XInternAtom(display, name, False);
    XChangeProperty(display, root, atom, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pixmap), 1);
  }
  XSetWindowBackgroundPixmap(display, root, pixmap);
  XClearWindow(display, root);
}

class X11RootSetter : public WallpaperSetter {
 public:
  explicit X11RootSetter(ScreenPictureLoader loadPicture) : m_loadPicture(std::move(loadPicture)) {}

  SetResult setWallpaper(const QString& path, const CancelToken& cancel) override {
    if (!m_loadPicture) return SetResult::unavailable(QStringLiteral("no picture reader was given"));
    DisplayConnection display(XOpenDisplay(nullptr));
    if (!display) return SetResult::unavailable(QStringLiteral("cannot open the X display"));
    const int screen = DefaultScreen(display.get());
    Visual* visual = DefaultVisual(display.get(), screen);
    if (visual->c_class != TrueColor && visual->c_class != DirectColor)
      return SetResult::failed(QStringLiteral("the screen's colour model is not supported"));
    const Window root = RootWindow(display.get(), screen);
    const QSize screenSize(DisplayWidth(display.get(), screen), DisplayHeight(display.get(), screen));
    const std::vector<QRect> monitors = monitorAreas(display.get(), root, screenSize);

    QString why;
    const std::optional<ScreenPicture> picture = m_loadPicture(path, largestMonitor(monitors), why);
    if (!picture) return SetResult::failed(why);
    // Whoever waited has given up: a background arriving later would surprise the user.
    if (cancel.isCancelled())
      return SetResult::timedOut(QStringLiteral("stopped before the picture was shown"));
    const int depth = DefaultDepth(display.get(), screen);
    const PixmanCalls* pixman = pixmanCalls();
    if (!pixman) return SetResult::unavailable(QStringLiteral("the pixman library cannot be opened"));
    const std::unique_ptr<ScreenImage> image =
        ScreenImage::create(*pixman, display.get(), visual, depth, screenSize, why);
    if (!image) return SetResult::failed(why);
    if (!stretchOnto(*picture, image->target(), monitors))
      return SetResult::failed(QStringLiteral("the picture's pixels cannot be drawn"));
    return publish(display.get(), root, depth, *image);
  }

  QString name() const override { return QStringLiteral("X11 root window"); }

 private:
  static SetResult publish(Display* display, Window root, int depth, ScreenImage& image) {
    const XErrorTrap trap;
    const unsigned width = image.width();
    const unsigned height = image.height();
    const Pixmap pixmap = XCreatePixmap(display, root, width, height, static_cast<unsigned>(depth));
    image.sendTo(pixmap);
    // Nothing is changed on the screen unless the whole picture arrived.
    if (trap.errorsAfterSync(display) != 0)
      return SetResult::failed(QStringLiteral("the X server could not store a screen-sized picture"));
    freePreviousPixmap(display, root);
    publishRootPixmap(display, root, pixmap);
    XSetCloseDownMode(display, RetainPermanent);
    if (trap.errorsAfterSync(display) != 0)
      return SetResult::failed(QStringLiteral("the X server refused the new background"));
    return SetResult::applied();
  }

  ScreenPictureLoader m_loadPicture;
};

}  // namespace

std::unique_ptr<WallpaperSetter> makeX11RootSetter(ScreenPictureLoader loadPicture) {
  return std::make_unique<X11RootSetter>(std::move(loadPicture));
}

unsigned long x11RootPixmapId() {
  const DisplayConnection display(XOpenDisplay(nullptr));
  if (!display) return None;
  return rootPixmapProperty(display.get(), DefaultRootWindow(display.get()), "_XROOTPMAP_ID");
}

bool x11PixmapExists(unsigned long id) {
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
