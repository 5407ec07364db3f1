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

#include "platform/DesktopComposition.h"
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

// Pixels on their way to the server, a band of rows at a time in the
// screen's pixel format. A band is small enough to stay in the processor's
// cache between pixman writing it and the socket reading it, and it is
// reused for the next band: a fresh screen-sized buffer costs more in page
// faults and zeroing than the stretch that fills it. They travel in the
// requests of XPutImage. MIT-SHM would spare the socket, but for one picture
// sent once it costs more than it saves: on a 3840x2160 screen the server
// spent about 30 ms of processor time on each fresh shared segment against
// 8 ms reading the same pixels from the socket.
class BandImage {
 public:
  static std::unique_ptr<BandImage> create(const PixmanCalls& pixman, Display* display, Visual* visual,
                                           int depth, QSize size, QString& why) {
    std::unique_ptr<BandImage> band(new BandImage(pixman, display));
    if (!band->createImage(visual, depth, size, why) || !band->chooseDrawnPixels(why)) return nullptr;
    return band;
  }

  ~BandImage() {
    std::free(m_converted);
    if (m_image) XDestroyImage(m_image);
  }
  BandImage(const BandImage&) = delete;
  BandImage& operator=(const BandImage&) = delete;

  int width() const { return m_image->width; }
  int capacity() const { return m_image->height; }
  // The length of a request that carries all its rows, in 4-byte units.
  long requestUnits() const { return long(m_image->bytes_per_line / 4) * m_image->height + 8; }

  // What pixman draws `rows` rows from `firstRow` into; null when there is
  // no memory. Freed with the pixman library's unref.
  pixman_image_t* target(int rows, int firstRow = 0) const {
    auto* pixels = reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(m_drawn) +
                                               std::ptrdiff_t(firstRow) * m_drawnStride);
    return m_pixman.imageCreateBits(m_format, m_image->width, rows, pixels, m_drawnStride);
  }

  // Sends the first `rows` rows to `drawable`, their top left corner at `at`;
  // errors surface at the caller's next sync.
  void sendTo(Drawable drawable, GC gc, QPoint at, int rows) {
    if (m_converted) convertForServer(rows);
    XPutImage(m_display, drawable, gc, m_image, 0, 0, at.x(), at.y(), unsigned(m_image->width),
              unsigned(rows));
  }

 private:
  BandImage(const PixmanCalls& pixman, Display* display) : m_pixman(pixman), m_display(display) {}

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
      why = QStringLiteral("not enough memory for the picture's rows");
      return false;
    }
    return true;
  }

  // pixman draws straight into the image when it knows its format, else into
  // a buffer of 32-bit pixels that is converted pixel by pixel.
  bool chooseDrawnPixels(QString& why) {
    m_format = pixmanFormatOf(*m_image, m_pixman);
    if (m_format != 0) {
      m_drawn = reinterpret_cast<uint32_t*>(m_image->data);
      m_drawnStride = m_image->bytes_per_line;
      return true;
    }
    m_format = PIXMAN_x8r8g8b8;
    m_red = makeChannelTable(m_image->red_mask);
    m_green = makeChannelTable(m_image->green_mask);
    m_blue = makeChannelTable(m_image->blue_mask);
    m_drawnStride = m_image->width * 4;
    m_converted = static_cast<uint32_t*>(
        std::malloc(std::size_t(m_drawnStride) * std::size_t(std::max(1, m_image->height))));
    m_drawn = m_converted;
    if (!m_converted) why = QStringLiteral("not enough memory for the picture's rows");
    return m_converted != nullptr;
  }

  void convertForServer(int rows) {
    const auto* pixels = reinterpret_cast<const std::uint8_t*>(m_converted);
    for (int y = 0; y < rows; ++y) {
      const auto* line = reinterpret_cast<const std::uint32_t*>(pixels + std::ptrdiff_t(y) * m_drawnStride);
      for (int x = 0; x < m_image->width; ++x) {
        const std::uint32_t colour = line[x];
        XPutPixel(m_image, x, y,
                  m_red[(colour >> 16) & 0xff] | m_green[(colour >> 8) & 0xff] | m_blue[colour & 0xff]);
      }
    }
  }

  const PixmanCalls& m_pixman;
  Display* m_display;
  XImage* m_image = nullptr;
  pixman_format_code_t m_format = pixman_format_code_t(0);
  uint32_t* m_drawn = nullptr;
  int m_drawnStride = 0;
  uint32_t* m_converted = nullptr;  // when pixman cannot draw the screen's format
  ChannelTable m_red{};
  ChannelTable m_green{};
  ChannelTable m_blue{};
};

// The longest request the server takes, in 4-byte units.
long maximumRequestUnits(Display* display) {
  const long extended = XExtendedMaxRequestSize(display);
  return extended > 0 ? extended : XMaxRequestSize(display);
}

// About half a megabyte a band.
constexpr int kBandBytes = 512 * 1024;

int bandRowsFor(int width) { return std::max(1, kBandBytes / std::max(1, width * 4)); }

// One rectangle of the screen that a picture is stretched onto, and how far
// down it the bands have come.
struct AreaProgress {
  QRect area;
  int row = 0;
};

MonitorList randrMonitors(Display* display, Window root) {
  MonitorList monitors;
  int event = 0;
  int error = 0;
  int major = 0;
  int minor = 0;
  if (!XRRQueryExtension(display, &event, &error) || !XRRQueryVersion(display, &major, &minor) ||
      (major == 1 && minor < 5))
    return monitors;
  int count = 0;
  if (XRRMonitorInfo* found = XRRGetMonitors(display, root, True, &count)) {
    for (int i = 0; i < count; ++i) {
      char* name = found[i].name != None ? XGetAtomName(display, found[i].name) : nullptr;
      monitors.append({name ? QString::fromUtf8(name) : QString::number(i + 1),
                       QRect(found[i].x, found[i].y, found[i].width, found[i].height)});
      if (name) XFree(name);
    }
    XRRFreeMonitors(found);
  }
  return monitors;
}

// Xinerama's heads have no names: they go by their number.
MonitorList xineramaHeads(Display* display) {
  MonitorList heads;
  int event = 0;
  int error = 0;
  // An inactive Xinerama answers with no heads.
  if (!XineramaQueryExtension(display, &event, &error)) return heads;
  int count = 0;
  if (XineramaScreenInfo* found = XineramaQueryScreens(display, &count)) {
    for (int i = 0; i < count; ++i)
      heads.append(
          {QString::number(i + 1), QRect(found[i].x_org, found[i].y_org, found[i].width, found[i].height)});
    XFree(found);
  }
  return heads;
}

// The monitors, each of which shows a whole picture: RandR's monitors,
// which may also join or split outputs as the user set them; Xinerama's
// heads where RandR knows fewer, as on a server that joins several screens
// into one, where RandR sees only the first; the whole screen when neither
// knows any.
MonitorList monitorsOf(Display* display, Window root, QSize screen) {
  const XErrorTrap trap;
  MonitorList found = randrMonitors(display, root);
  MonitorList heads = xineramaHeads(display);
  if (heads.size() > found.size()) found = std::move(heads);
  if (trap.errorsSoFar() != 0) found.clear();
  const QRect whole(QPoint(0, 0), screen);
  MonitorList monitors;
  for (const Monitor& monitor : found) {
    const QRect area = monitor.geometry.intersected(whole);
    if (!area.isEmpty()) monitors.append({monitor.name, area});
  }
  if (monitors.isEmpty()) monitors.append({QStringLiteral("screen"), whole});
  return orderedMonitors(monitors);
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

void setRootPixmapProperties(Display* display, Window root, Pixmap pixmap) {
  for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
    const Atom atom = XInternAtom(display, name, False);
    XChangeProperty(display, root, atom, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pixmap), 1);
  }
}

void publishRootPixmap(Display* display, Window root, Pixmap pixmap) {
  setRootPixmapProperties(display, root, pixmap);
  XSetWindowBackgroundPixmap(display, root, pixmap);
  XClearWindow(display, root);
}

struct PixmapShape {
  QSize size;
  int depth = 0;
};

// The size and depth of a pixmap that exists; nothing for one that is gone.
std::optional<PixmapShape> pixmapShape(Display* display, Drawable pixmap) {
  const XErrorTrap trap;
  Window root = None;
  int x = 0;
  int y = 0;
  unsigned width = 0;
  unsigned height = 0;
  unsigned border = 0;
  unsigned depth = 0;
  const Status found = XGetGeometry(display, pixmap, &root, &x, &y, &width, &height, &border, &depth);
  if (found == 0 || trap.errorsAfterSync(display) != 0) return std::nullopt;
  return PixmapShape{QSize(int(width), int(height)), int(depth)};
}

// The pixmap the root shows, when it is one a setter like this one left
// (see freePreviousPixmap) and still covers the whole screen: a picture for
// one monitor is drawn into it, and the others keep theirs.
Pixmap reusableRootPixmap(Display* display, Window root, QSize screen, int depth) {
  const Pixmap shown = rootPixmapProperty(display, root, "_XROOTPMAP_ID");
  if (shown == None || shown != rootPixmapProperty(display, root, "ESETROOT_PMAP_ID")) return None;
  const std::optional<PixmapShape> shape = pixmapShape(display, shown);
  if (!shape || shape->size != screen || shape->depth != depth) return None;
  return shown;
}

// One X server connection and what a picture on it needs.
struct RootScreen {
  DisplayConnection display;
  Visual* visual = nullptr;
  int depth = 0;
  Window root = None;
  QSize size;
  MonitorList monitors;
};

// A pixmap of `size` that the pictures are drawn into, to become the root's
// next background. It belongs to the setter's connection, so it is gone with
// the connection unless it was published.
class RootComposition {
 public:
  RootComposition(const PixmanCalls& pixman, const RootScreen& screen, QSize size,
                  const ScreenPictureOpener& open)
      : m_pixman(pixman), m_screen(screen), m_size(size), m_open(open), m_display(screen.display.get()) {
    m_pixmap = XCreatePixmap(m_display, m_screen.root, unsigned(size.width()), unsigned(size.height()),
                             unsigned(m_screen.depth));
    m_gc = XCreateGC(m_display, m_pixmap, 0, nullptr);
  }
  ~RootComposition() { XFreeGC(m_display, m_gc); }
  RootComposition(const RootComposition&) = delete;
  RootComposition& operator=(const RootComposition&) = delete;

  Pixmap pixmap() const { return m_pixmap; }

  // What lies outside `areas`: a copy of `below`'s pixels, or black when it
  // is None. Sent at once, so that the server draws it while the pictures
  // are read.
  void paintOutside(const std::vector<QRect>& areas, Pixmap below) {
    const std::vector<QRect> outside = uncoveredAreas(m_size, areas);
    if (below == None) {
      XSetForeground(m_display, m_gc, BlackPixel(m_display, DefaultScreen(m_display)));
      for (const QRect& rectangle : outside)
        XFillRectangle(m_display, m_pixmap, m_gc, rectangle.x(), rectangle.y(), unsigned(rectangle.width()),
                       unsigned(rectangle.height()));
    } else {
      for (const QRect& rectangle : outside)
        XCopyArea(m_display, below, m_pixmap, m_gc, rectangle.x(), rectangle.y(), unsigned(rectangle.width()),
                  unsigned(rectangle.height()), rectangle.x(), rectangle.y());
    }
    XFlush(m_display);
  }

  // The picture stretched onto each of its areas, band by band. The band
  // drawn next is always the one that needs the picture's highest rows, so
  // the picture is read once, top to bottom, whatever the areas' sizes.
  bool draw(const PicturePlacement& placement, const CancelToken& cancel, QString& why) {
    const std::unique_ptr<ScreenPictureRows> picture = m_open(placement.path, placement.box(), why);
    if (!picture) return false;
    std::vector<AreaProgress> areas;
    for (const QRect& area : placement.areas)
      if (!area.isEmpty()) areas.push_back({area, 0});
    const int pictureHeight = picture->size().height();
    const auto nextRows = [&](const AreaProgress& progress) {
      const int rows = std::min(bandRowsFor(progress.area.width()), progress.area.height() - progress.row);
      return sampledRows(pictureHeight, progress.area.height(), progress.row, rows).first;
    };
    while (!areas.empty()) {
      if (cancel.isCancelled()) {
        why = QStringLiteral("stopped before the picture was shown");
        return false;
      }
      const auto next = std::min_element(areas.begin(), areas.end(), [&](const auto& a, const auto& b) {
        return nextRows(a) < nextRows(b);
      });
      if (!drawBand(*picture, *next, why)) return false;
      if (next->row == next->area.height()) areas.erase(next);
    }
    return true;
  }

 private:
  bool drawBand(ScreenPictureRows& picture, AreaProgress& progress, QString& why) {
    BandImage* band = bandFor(progress.area.width(), why);
    if (!band) return false;
    const int rows = std::min(band->capacity(), progress.area.height() - progress.row);
    pixman_image_t* target = band->target(rows);
    if (!target) {
      why = QStringLiteral("not enough memory for the picture's rows");
      return false;
    }
    const bool drawn = drawStretchedBand(picture, progress.area.size(), progress.row, target, why);
    m_pixman.imageUnref(target);
    if (!drawn) return false;
    band->sendTo(m_pixmap, m_gc, progress.area.topLeft() + QPoint(0, progress.row), rows);
    progress.row += rows;
    return true;
  }

  // One band image for each width of area, made when first needed.
  BandImage* bandFor(int width, QString& why) {
    const auto same = std::find_if(m_bands.begin(), m_bands.end(),
                                   [width](const auto& band) { return band->width() == width; });
    if (same != m_bands.end()) return same->get();
    std::unique_ptr<BandImage> band = BandImage::create(m_pixman, m_display, m_screen.visual, m_screen.depth,
                                                        QSize(width, bandRowsFor(width)), why);
    if (!band) return nullptr;
    m_bands.push_back(std::move(band));
    return m_bands.back().get();
  }

  const PixmanCalls& m_pixman;
  const RootScreen& m_screen;
  QSize m_size;
  const ScreenPictureOpener& m_open;
  Display* m_display;
  Pixmap m_pixmap = None;
  GC m_gc = nullptr;
  std::vector<std::unique_ptr<BandImage>> m_bands;
};

class X11RootSetter : public MonitorSetter {
 public:
  X11RootSetter(ScreenPictureOpener openPicture, std::shared_ptr<const MonitorChoiceStore> choices)
      : m_openPicture(std::move(openPicture)), m_choices(std::move(choices)) {}

  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override {
    RootScreen screen;
    if (const std::optional<SetResult> refused = open(screen)) return *refused;
    if (!target.isOneMonitor()) return drawAll(screen, chosen(path, target), cancel);
    QString problem;
    const std::optional<WallpaperTarget> found = resolveTarget(target, screen.monitors, &problem);
    if (!found) return SetResult::failed(problem);
    const Monitor& monitor = found->monitor;
    const Pixmap shown = reusableRootPixmap(screen.display.get(), screen.root, screen.size, screen.depth);
    SetResult result = shown == None ? drawAll(screen, chosen(path, *found), cancel)
                                     : drawOneInto(screen, shown, monitor, path, cancel);
    result.monitor = monitor.name;
    return result;
  }

  // One connection to the server, for the monitors and the picture both.
  bool looksUpMonitors() const override { return true; }

  SetResult restoreChoices(const CancelToken& cancel) override {
    const MonitorChoices choices = m_choices ? m_choices->load() : MonitorChoices();
    if (choices.isEmpty()) return SetResult::applied();
    RootScreen screen;
    if (const std::optional<SetResult> refused = open(screen)) return *refused;
    return drawAll(screen, choices, cancel);
  }

  QString name() const override { return QStringLiteral("X11 root window"); }

 private:
  // The monitors' pictures once `path` is on `target`.
  MonitorChoices chosen(const QString& path, const WallpaperTarget& target) const {
    MonitorChoices choices = m_choices ? m_choices->load() : MonitorChoices();
    choices.choose(path, target);
    return choices;
  }

  std::optional<SetResult> open(RootScreen& screen) const {
    if (!m_openPicture) return SetResult::unavailable(QStringLiteral("no picture reader was given"));
    screen.display.reset(XOpenDisplay(nullptr));
    Display* display = screen.display.get();
    if (!display) return SetResult::unavailable(QStringLiteral("cannot open the X display"));
    const int number = DefaultScreen(display);
    screen.visual = DefaultVisual(display, number);
    if (screen.visual->c_class != TrueColor && screen.visual->c_class != DirectColor)
      return SetResult::failed(QStringLiteral("the screen's colour model is not supported"));
    screen.depth = DefaultDepth(display, number);
    screen.root = RootWindow(display, number);
    screen.size = QSize(DisplayWidth(display, number), DisplayHeight(display, number));
    screen.monitors = monitorsOf(display, screen.root, screen.size);
    return std::nullopt;
  }

  // Every monitor with its choice, black where none is.
  SetResult drawAll(RootScreen& screen, const MonitorChoices& choices, const CancelToken& cancel) const {
    return compose(screen, planComposition(screen.monitors, choices, {}), None, cancel);
  }

  // A new root pixmap: the pictures on their areas over a copy of `below`
  // (black when None). Nothing is changed on the screen unless every picture
  // arrived whole.
  SetResult compose(RootScreen& screen, const std::vector<PicturePlacement>& placements, Pixmap below,
                    const CancelToken& cancel) const {
    const PixmanCalls* pixman = pixmanCalls();
    if (!pixman) return SetResult::unavailable(QStringLiteral("the pixman library cannot be opened"));
    Display* display = screen.display.get();
    const XErrorTrap trap;
    RootComposition composition(*pixman, screen, screen.size, m_openPicture);
    std::vector<QRect> covered;
    for (const PicturePlacement& placement : placements)
      covered.insert(covered.end(), placement.areas.begin(), placement.areas.end());
    composition.paintOutside(covered, below);
    QString why;
    for (const PicturePlacement& placement : placements) {
      if (composition.draw(placement, cancel, why)) continue;
      // Whoever waited has given up: a background arriving later would surprise the user.
      return cancel.isCancelled() ? SetResult::timedOut(why) : SetResult::failed(why);
    }
    if (trap.errorsAfterSync(display) != 0)
      return SetResult::failed(QStringLiteral("the X server could not store a screen-sized picture"));
    freePreviousPixmap(display, screen.root);
    publishRootPixmap(display, screen.root, composition.pixmap());
    XSetCloseDownMode(display, RetainPermanent);
    if (trap.errorsAfterSync(display) != 0)
      return SetResult::failed(QStringLiteral("the X server refused the new background"));
    return SetResult::applied();
  }

  // One monitor's picture drawn into the background the root shows, which a
  // setter left for the next to free. The picture is stretched whole in this
  // program's memory first and then sent in one request (with the server
  // held when it needs several), so a picture that fails half way changes
  // nothing, and no one sees it half drawn. The other monitors' pixels stay
  // where they are: a new background of the whole screen, or a pixmap to
  // stage the picture in, would cost the server fresh memory, twice over
  // under Xinerama, which keeps a pixmap for each screen. The properties are
  // set again, unchanged, so that the programs that show the background
  // (pseudo-transparent terminals, panels, compositors) read it again.
  SetResult drawOneInto(RootScreen& screen, Pixmap shown, const Monitor& monitor, const QString& path,
                        const CancelToken& cancel) const {
    const PixmanCalls* pixman = pixmanCalls();
    if (!pixman) return SetResult::unavailable(QStringLiteral("the pixman library cannot be opened"));
    Display* display = screen.display.get();
    const XErrorTrap trap;
    const QRect area = monitor.geometry;
    QString why;
    const std::unique_ptr<BandImage> picture =
        BandImage::create(*pixman, display, screen.visual, screen.depth, area.size(), why);
    if (!picture) return SetResult::failed(why);
    if (!drawWhole(*pixman, *picture, path, cancel, why))
      return cancel.isCancelled() ? SetResult::timedOut(why) : SetResult::failed(why);
    GC gc = XCreateGC(display, shown, 0, nullptr);
    const bool severalRequests = picture->requestUnits() >= maximumRequestUnits(display);
    if (severalRequests) XGrabServer(display);
    picture->sendTo(shown, gc, area.topLeft(), area.height());
    if (severalRequests) XUngrabServer(display);
    XFreeGC(display, gc);
    setRootPixmapProperties(display, screen.root, shown);
    XClearArea(display, screen.root, area.x(), area.y(), unsigned(area.width()), unsigned(area.height()),
               False);
    if (trap.errorsAfterSync(display) != 0)
      return SetResult::failed(QStringLiteral("the X server refused the new background"));
    return SetResult::applied();
  }

  // The picture stretched into `image` a band at a time, so that a JPEG is
  // still decoded only as far as the bands have come.
  bool drawWhole(const PixmanCalls& pixman, const BandImage& image, const QString& path,
                 const CancelToken& cancel, QString& why) const {
    const QSize size(image.width(), image.capacity());
    const std::unique_ptr<ScreenPictureRows> picture = m_openPicture(path, size, why);
    if (!picture) return false;
    const int bandRows = bandRowsFor(size.width());
    for (int row = 0; row < size.height(); row += bandRows) {
      if (cancel.isCancelled()) {
        why = QStringLiteral("stopped before the picture was shown");
        return false;
      }
      pixman_image_t* band = image.target(std::min(bandRows, size.height() - row), row);
      const bool drawn = band && drawStretchedBand(*picture, size, row, band, why);
      if (band) pixman.imageUnref(band);
      if (!drawn) return false;
    }
    return true;
  }

  ScreenPictureOpener m_openPicture;
  std::shared_ptr<const MonitorChoiceStore> m_choices;
};

}  // namespace

std::unique_ptr<WallpaperSetter> makeX11RootSetter(ScreenPictureOpener openPicture,
                                                   std::shared_ptr<const MonitorChoiceStore> choices) {
  return std::make_unique<X11RootSetter>(std::move(openPicture), std::move(choices));
}

MonitorList x11Monitors() {
  const DisplayConnection display(XOpenDisplay(nullptr));
  if (!display) return {};
  const int number = DefaultScreen(display.get());
  return monitorsOf(display.get(), RootWindow(display.get(), number),
                    QSize(DisplayWidth(display.get(), number), DisplayHeight(display.get(), number)));
}

unsigned long x11RootPixmapId() {
  const DisplayConnection display(XOpenDisplay(nullptr));
  if (!display) return None;
  return rootPixmapProperty(display.get(), DefaultRootWindow(display.get()), "_XROOTPMAP_ID");
}

bool x11PixmapExists(unsigned long id) {
  const DisplayConnection display(XOpenDisplay(nullptr));
  return display && id != None && pixmapShape(display.get(), id).has_value();
}
