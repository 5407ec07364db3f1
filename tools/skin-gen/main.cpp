// Draws the skin: every bitmap the skinned controls and the windows show.
// The look is a dark slate frame with one teal accent; captions are never
// drawn here, the controls draw them. Every bitmap comes in two sizes, the
// second named "<name>@2x.png". Run by hand:
//   skin-gen <repository>/resources/skin
// and commit the pictures it writes.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {

// --- palette

namespace Colour {
const QColor kFrameTop(26, 30, 38);
const QColor kFrameBottom(19, 22, 28);
const QColor kTitleTop(43, 50, 63);
const QColor kTitleBottom(31, 36, 46);
const QColor kTitleEdge(13, 15, 20);
const QColor kPane(28, 32, 41);
const QColor kPaneEdge(41, 47, 58);
const QColor kColumnTop(35, 41, 52);
const QColor kColumnBottom(28, 33, 42);
const QColor kColumnEdge(51, 59, 73);
const QColor kHeadingTop(47, 55, 70);
const QColor kHeadingBottom(37, 44, 56);
const QColor kRowRule(40, 47, 58);
const QColor kAccent(34, 156, 178);
const QColor kAccentLight(104, 214, 232);
const QColor kAccentDark(22, 112, 128);
const QColor kAccentEdge(17, 92, 106);
const QColor kBoxLine(24, 123, 141);  // the framed boxes' line colour
const QColor kGlyph(184, 192, 204);
const QColor kGlyphDim(92, 98, 109);
const QColor kControlEdge(122, 134, 150);
const QColor kControlFill(22, 26, 33);
const QColor kDisabledFill(52, 57, 66);
const QColor kDisabledEdge(66, 72, 82);
const QColor kCard(245, 247, 250);
const QColor kCardEdge(212, 218, 226);
const QColor kCardWell(226, 230, 236);
const QColor kCardWellEdge(192, 199, 208);
const QColor kClose(212, 64, 64);
}  // namespace Colour

// The window's geometry, in window coordinates.
constexpr int kWindowWidth = 799;
constexpr int kWindowHeight = 599;
constexpr int kWindowCornerRadius = 10;  // the outline's 20 x 20 corner ellipse
constexpr int kTitleBandHeight = 41;     // rows 0..40 drag the window
constexpr int kTabBaseline = 83;         // the tabs stand on this line
constexpr QRect kPane(20, 85, 761, 481);
constexpr int kFooterTop = 569;
constexpr QRect kLogo(17, 7, 28, 28);

enum class ButtonState { Normal, Hover, Down, Disabled };

struct StateName {
  ButtonState state;
  const char* suffix;
};
constexpr StateName kButtonStates[] = {{ButtonState::Normal, "normal"},
                                       {ButtonState::Hover, "hover"},
                                       {ButtonState::Down, "down"},
                                       {ButtonState::Disabled, "disabled"}};

QString g_outputFolder;
int g_failures = 0;

QImage newBitmap(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

void Save(const QImage& image, const char* name) {
  const QString path = g_outputFolder + '/' + name + ".png";
  // The bitmaps are compiled into the program; a plain 8-bit palette would
  // band the gradients, so keep true colour and let zlib do its best.
  if (!image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG", 0)) {
    std::fprintf(stderr, "skin-gen: cannot write %s\n", qPrintable(path));
    ++g_failures;
  }
}

// Each bitmap is drawn twice from the same strokes: at its own size, and at
// twice that as "<name>@2x" for screens with two device pixels a pixel, so
// those get sharp edges instead of the small bitmap blown up.
struct Density {
  int scale;
  const char* suffix;
};
constexpr Density kDensities[] = {{1, ""}, {2, "@2x"}};

void draw(int width, int height, const char* name, const std::function<void(QPainter&)>& paint) {
  for (const Density& density : kDensities) {
    QImage image = newBitmap(width * density.scale, height * density.scale);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(density.scale, density.scale);
    paint(painter);
    painter.end();
    Save(image, qPrintable(QString::fromLatin1(name) + QLatin1String(density.suffix)));
  }
}

QLinearGradient vertical(qreal top, qreal bottom, const QColor& from, const QColor& to) {
  QLinearGradient gradient(0, top, 0, bottom);
  gradient.setColorAt(0, from);
  gradient.setColorAt(1, to);
  return gradient;
}

QColor withAlpha(QColor colour, int alpha) {
  colour.setAlpha(alpha);
  return colour;
}

QPainterPath roundedRect(const QRectF& box, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(box, radius, radius);
  return path;
}

// A rectangle with only its top corners rounded.
QPainterPath topRoundedRect(const QRectF& box, qreal radius) {
  QPainterPath path;
  path.moveTo(box.left(), box.bottom());
  path.lineTo(box.left(), box.top() + radius);
  path.arcTo(QRectF(box.left(), box.top(), 2 * radius, 2 * radius), 180, -90);
  path.lineTo(box.right() - radius, box.top());
  path.arcTo(QRectF(box.right() - 2 * radius, box.top(), 2 * radius, 2 * radius), 90, -90);
  path.lineTo(box.right(), box.bottom());
  path.closeSubpath();
  return path;
}

// A soft top edge of light, so raised surfaces catch the light from above.
void topHighlight(QPainter& painter, const QPainterPath& shape, int alpha) {
  painter.save();
  painter.setClipPath(shape);
  const QRectF box = shape.boundingRect();
  painter.fillRect(QRectF(box.left(), box.top(), box.width(), 1), QColor(255, 255, 255, alpha));
  painter.fillRect(QRectF(box.left(), box.top() + 1, box.width(), 1), QColor(255, 255, 255, alpha / 3));
  painter.restore();
}

// --- the program's emblem: a landscape under a sun on a teal tile

void drawEmblem(QPainter& painter, const QRectF& box) {
  const qreal s = box.width() / 64.0;
  auto at = [&](qreal x, qreal y) { return QPointF(box.left() + x * s, box.top() + y * s); };
  const QPainterPath tile = roundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 14 * s);

  QLinearGradient sky(box.topLeft(), box.bottomRight());
  sky.setColorAt(0, QColor(58, 196, 214));
  sky.setColorAt(1, QColor(20, 86, 128));
  painter.setPen(Qt::NoPen);
  painter.fillPath(tile, sky);

  painter.save();
  painter.setClipPath(tile);
  QRadialGradient sun(at(44, 20), 10 * s);
  sun.setColorAt(0, QColor(255, 236, 160));
  sun.setColorAt(0.7, QColor(255, 204, 92));
  sun.setColorAt(1, QColor(255, 204, 92, 0));
  painter.setBrush(sun);
  painter.drawEllipse(at(44, 20), 10 * s, 10 * s);

  QPainterPath farRange;
  farRange.moveTo(at(0, 50));
  farRange.lineTo(at(18, 30));
  farRange.lineTo(at(30, 42));
  farRange.lineTo(at(42, 33));
  farRange.lineTo(at(64, 52));
  farRange.lineTo(at(64, 64));
  farRange.lineTo(at(0, 64));
  farRange.closeSubpath();
  painter.fillPath(farRange, QColor(255, 255, 255, 120));

  QPainterPath nearRange;
  nearRange.moveTo(at(0, 58));
  nearRange.lineTo(at(22, 38));
  nearRange.lineTo(at(36, 50));
  nearRange.lineTo(at(46, 44));
  nearRange.lineTo(at(64, 60));
  nearRange.lineTo(at(64, 64));
  nearRange.lineTo(at(0, 64));
  nearRange.closeSubpath();
  painter.fillPath(nearRange, QColor(255, 255, 255, 235));
  painter.restore();

  painter.setPen(QPen(QColor(255, 255, 255, 70), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(roundedRect(box.adjusted(1, 1, -1, -1), 13 * s));
}

// --- main window background

void drawTitleBand(QPainter& painter) {
  painter.fillRect(QRect(0, 0, kWindowWidth, kTitleBandHeight),
                   vertical(0, kTitleBandHeight, Colour::kTitleTop, Colour::kTitleBottom));
  painter.fillRect(QRect(0, kTitleBandHeight, kWindowWidth, 1), Colour::kTitleEdge);
  // A thin accent glow under the title, fading out towards both ends.
  QLinearGradient glow(0, 0, kWindowWidth, 0);
  glow.setColorAt(0, withAlpha(Colour::kAccent, 0));
  glow.setColorAt(0.15, withAlpha(Colour::kAccent, 150));
  glow.setColorAt(0.6, withAlpha(Colour::kAccent, 60));
  glow.setColorAt(1, withAlpha(Colour::kAccent, 0));
  painter.fillRect(QRect(0, kTitleBandHeight + 1, kWindowWidth, 1), glow);
  drawEmblem(painter, kLogo);
}

void drawPane(QPainter& painter) {
  // The pane holds both pages; the tabs stand on its accent top edge.
  QPainterPath pane;
  const QRectF box(kPane);
  const qreal r = 6;
  pane.moveTo(box.topLeft());
  pane.lineTo(box.topRight());
  pane.lineTo(box.right(), box.bottom() - r);
  pane.arcTo(QRectF(box.right() - 2 * r, box.bottom() - 2 * r, 2 * r, 2 * r), 0, -90);
  pane.lineTo(box.left() + r, box.bottom());
  pane.arcTo(QRectF(box.left(), box.bottom() - 2 * r, 2 * r, 2 * r), 270, -90);
  pane.closeSubpath();
  painter.fillPath(pane, Colour::kPane);
  painter.setPen(QPen(Colour::kPaneEdge, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(pane.translated(0.5, 0));
  QLinearGradient baseline(kPane.left(), 0, kPane.right(), 0);
  baseline.setColorAt(0, Colour::kAccent);
  baseline.setColorAt(0.55, Colour::kAccentDark);
  baseline.setColorAt(1, withAlpha(Colour::kAccentDark, 90));
  painter.fillRect(QRect(kPane.left(), kTabBaseline, kPane.width(), 2), baseline);
}

void drawFooter(QPainter& painter) {
  // A status strip in a middle tone: the home-site link is black and turns
  // white under the mouse, and both must read on it.
  const QRect footer(0, kFooterTop, kWindowWidth, kWindowHeight - kFooterTop);
  painter.fillRect(footer,
                   vertical(footer.top(), footer.bottom(), QColor(40, 148, 168), QColor(29, 124, 142)));
  painter.fillRect(QRect(0, kFooterTop, kWindowWidth, 1), QColor(112, 208, 224));
  painter.fillRect(QRect(0, kFooterTop - 1, kWindowWidth, 1), Colour::kTitleEdge);
}

void drawMainBackground() {
  draw(kWindowWidth, kWindowHeight, "main_bg", [](QPainter& painter) {
    const QPainterPath outline = roundedRect(QRectF(0, 0, kWindowWidth, kWindowHeight), kWindowCornerRadius);
    painter.setClipPath(outline);
    painter.fillRect(QRect(0, 0, kWindowWidth, kWindowHeight),
                     vertical(0, kWindowHeight, Colour::kFrameTop, Colour::kFrameBottom));
    drawTitleBand(painter);
    drawPane(painter);
    drawFooter(painter);
    painter.setClipping(false);
    painter.setPen(QPen(QColor(255, 255, 255, 28), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(roundedRect(QRectF(0.5, 0.5, kWindowWidth - 1, kWindowHeight - 1), kWindowCornerRadius));
  });
}

// --- window buttons

void drawWindowButton(const char* base, ButtonState state, const QColor& hoverFill,
                      const std::function<void(QPainter&)>& glyph) {
  const QString name = QString("%1_%2").arg(base, kButtonStates[static_cast<int>(state)].suffix);
  draw(24, 24, qPrintable(name), [&](QPainter& painter) {
    const QPainterPath shape = roundedRect(QRectF(0.5, 0.5, 23, 23), 5);
    QColor glyphColour = Colour::kGlyph;
    switch (state) {
      case ButtonState::Normal:
        painter.fillPath(shape, QColor(255, 255, 255, 16));
        break;
      case ButtonState::Hover:
        painter.fillPath(shape, hoverFill);
        glyphColour = Qt::white;
        break;
      case ButtonState::Down:
        painter.fillPath(shape, hoverFill.darker(135));
        glyphColour = QColor(230, 234, 240);
        break;
      case ButtonState::Disabled:
        glyphColour = Colour::kGlyphDim;
        break;
    }
    painter.setPen(QPen(glyphColour, 2, Qt::SolidLine, Qt::RoundCap));
    glyph(painter);
  });
}

void drawWindowButtons() {
  for (const StateName& s : kButtonStates) {
    drawWindowButton("btn_min", s.state, QColor(66, 76, 93),
                     [](QPainter& p) { p.drawLine(QPointF(7, 15.5), QPointF(17, 15.5)); });
    drawWindowButton("btn_close", s.state, Colour::kClose, [](QPainter& p) {
      p.drawLine(QPointF(7.5, 7.5), QPointF(16.5, 16.5));
      p.drawLine(QPointF(16.5, 7.5), QPointF(7.5, 16.5));
    });
  }
}

// --- tabs

struct TabLook {
  QColor top, bottom, edge;
  int highlight;
};

TabLook lookOfTab(ButtonState state) {
  switch (state) {
    case ButtonState::Normal:
      return {QColor(50, 57, 71), QColor(39, 45, 56), QColor(62, 70, 86), 40};
    case ButtonState::Hover:
      return {QColor(64, 74, 91), QColor(48, 56, 70), QColor(86, 100, 120), 55};
    case ButtonState::Down:
      return {QColor(32, 37, 47), QColor(36, 42, 53), QColor(56, 64, 78), 0};
    case ButtonState::Disabled:
      break;
  }
  return {QColor(36, 40, 47), QColor(33, 37, 44), QColor(45, 50, 59), 0};
}

// One pixel stays clear at each side: the tabs overlap by a pixel or two and
// a clear seam keeps them apart.
const QRectF kTabShape(1.5, 0.5, 109, 30);

void drawTab(const QString& name, const TabLook& look) {
  draw(112, 30, qPrintable(name), [&](QPainter& painter) {
    const QPainterPath shape = topRoundedRect(kTabShape, 6);
    painter.fillPath(shape, vertical(0, 30, look.top, look.bottom));
    topHighlight(painter, shape, look.highlight);
    painter.setPen(QPen(look.edge, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
  });
}

void drawTabs() {
  for (const StateName& s : kButtonStates) drawTab(QString("tab_%1").arg(s.suffix), lookOfTab(s.state));
  // The active tab: the accent colour, flowing into the pane's accent edge.
  draw(112, 30, "tab_marker", [](QPainter& painter) {
    const QPainterPath shape = topRoundedRect(QRectF(1.5, 0.5, 109, 31), 6);
    painter.fillPath(shape, vertical(0, 30, QColor(48, 178, 200), Colour::kAccent));
    topHighlight(painter, shape, 90);
    painter.setPen(QPen(Colour::kAccentEdge, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
  });
}

// --- category column

// Icons before the two headings: a monitor for the local store and a globe
// for the online catalogue.
void drawMonitorIcon(QPainter& painter, QPointF origin) {
  painter.setPen(QPen(Colour::kAccentLight, 1.4));
  painter.setBrush(withAlpha(Colour::kAccent, 80));
  painter.drawRoundedRect(QRectF(origin.x() + 0.7, origin.y() + 0.7, 13.6, 9.6), 1.5, 1.5);
  painter.drawLine(QPointF(origin.x() + 7.5, origin.y() + 10.5), QPointF(origin.x() + 7.5, origin.y() + 13));
  painter.drawLine(QPointF(origin.x() + 4, origin.y() + 13.3), QPointF(origin.x() + 11, origin.y() + 13.3));
}

void drawGlobeIcon(QPainter& painter, QPointF origin) {
  const QPointF centre(origin.x() + 7.5, origin.y() + 7);
  painter.setPen(QPen(Colour::kAccentLight, 1.3));
  painter.setBrush(withAlpha(Colour::kAccent, 80));
  painter.drawEllipse(centre, 6.5, 6.5);
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(centre, 2.8, 6.5);
  painter.drawLine(QPointF(centre.x() - 6.5, centre.y()), QPointF(centre.x() + 6.5, centre.y()));
}

void drawHeading(QPainter& painter, int top, const std::function<void(QPainter&, QPointF)>& icon) {
  const QRectF band(1, top, 180, 33);
  painter.fillRect(band, vertical(band.top(), band.bottom(), Colour::kHeadingTop, Colour::kHeadingBottom));
  QLinearGradient rule(10, 0, 172, 0);
  rule.setColorAt(0, withAlpha(Colour::kAccent, 200));
  rule.setColorAt(1, withAlpha(Colour::kAccent, 0));
  painter.fillRect(QRectF(1, band.bottom(), 180, 1), rule);
  icon(painter, QPointF(17, top + 10));
}

// Hair lines between the link rows; the highlight bar (26 rows) fits exactly
// between two of them.
void drawRowRules(QPainter& painter, int firstBarTop, int rows) {
  for (int k = 0; k + 1 < rows; ++k)
    painter.fillRect(QRect(34, firstBarTop + 27 * k + 26, 136, 1), Colour::kRowRule);
}

void drawCategoryColumn() {
  draw(182, 459, "category_column", [](QPainter& painter) {
    const QPainterPath shape = roundedRect(QRectF(0.5, 0.5, 181, 458), 7);
    painter.fillPath(shape, vertical(0, 459, Colour::kColumnTop, Colour::kColumnBottom));
    painter.save();
    painter.setClipPath(shape);
    drawHeading(painter, 0, drawMonitorIcon);  // "Local" at 40, 11
    drawHeading(painter, 193, drawGlobeIcon);  // "Network" at 40, 203
    painter.restore();
    drawRowRules(painter, 41, 5);
    drawRowRules(painter, 234, 7);
    painter.setPen(QPen(Colour::kColumnEdge, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
  });

  draw(175, 26, "highlight_bar", [](QPainter& painter) {
    const QPainterPath shape = roundedRect(QRectF(0.5, 0.5, 174, 25), 4);
    painter.fillPath(shape, vertical(0, 26, QColor(38, 152, 172), QColor(26, 118, 135)));
    topHighlight(painter, shape, 60);
    painter.fillPath(roundedRect(QRectF(0.5, 0.5, 4, 25), 2), QColor(140, 232, 244));
  });

  draw(9, 9, "arrow", [](QPainter& painter) {
    QPainterPath triangle;
    triangle.moveTo(2, 0.8);
    triangle.lineTo(7.6, 4.5);
    triangle.lineTo(2, 8.2);
    triangle.closeSubpath();
    painter.fillPath(triangle, QColor(150, 226, 240));
  });
}

// --- thumbnail slots and the page bar

void drawSlot(const char* name, QSize size, QRect thumbnail) {
  draw(size.width(), size.height(), name, [&](QPainter& painter) {
    const QRectF card(0.5, 0.5, size.width() - 1, size.height() - 1);
    const QPainterPath shape = roundedRect(card, 6);
    painter.fillPath(roundedRect(card.translated(0, 1), 6), QColor(0, 0, 0, 18));  // a hint of shadow
    painter.fillPath(shape, vertical(0, size.height(), Colour::kCard, QColor(236, 239, 243)));
    painter.setPen(QPen(Colour::kCardEdge, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    // A short accent strip above the picture marks the card's top.
    const qreal stripTop = thumbnail.top() / 2.0 - 1.5;
    painter.fillPath(roundedRect(QRectF(thumbnail.left(), stripTop, 36, 3), 1.5), Colour::kAccent);
    painter.fillPath(roundedRect(QRectF(thumbnail.left() + 40, stripTop, 10, 3), 1.5),
                     withAlpha(Colour::kAccent, 90));
    // The well the thumbnail sits in, one pixel wider all round.
    const QRectF well = QRectF(thumbnail).adjusted(-1.5, -1.5, 0.5, 0.5);
    painter.setPen(QPen(Colour::kCardWellEdge, 1));
    painter.setBrush(Colour::kCardWell);
    painter.drawRect(well);
  });
}

void drawGrid() {
  drawSlot("slot_normal", QSize(164, 140), QRect(9, 18, 145, 110));
  drawSlot("slot_widescreen", QSize(175, 133), QRect(7, 20, 160, 100));
  draw(554, 25, "page_bar", [](QPainter& painter) {
    const QPainterPath shape = roundedRect(QRectF(0.5, 0.5, 553, 24), 4);
    painter.fillPath(shape, vertical(0, 25, QColor(36, 42, 53), QColor(31, 36, 46)));
    painter.setPen(QPen(QColor(50, 58, 71), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    painter.fillRect(QRectF(3, 20, 548, 1), withAlpha(Colour::kAccent, 70));
  });
}

// --- push buttons

struct ButtonLook {
  QColor top, bottom, edge;
  int highlight;
};

ButtonLook lookOfButton(ButtonState state) {
  switch (state) {
    case ButtonState::Normal:
      return {QColor(44, 170, 192), QColor(27, 128, 146), Colour::kAccentEdge, 70};
    case ButtonState::Hover:
      return {QColor(64, 192, 214), QColor(35, 146, 166), QColor(22, 104, 120), 90};
    case ButtonState::Down:
      return {QColor(22, 106, 121), QColor(30, 132, 150), QColor(14, 80, 92), 0};
    case ButtonState::Disabled:
      break;
  }
  return {QColor(60, 66, 76), QColor(51, 56, 65), QColor(44, 49, 57), 18};
}

void drawPushButtons(const char* base, QSize size) {
  for (const StateName& s : kButtonStates) {
    const ButtonLook look = lookOfButton(s.state);
    const QString name = QString("%1_%2").arg(base, s.suffix);
    draw(size.width(), size.height(), qPrintable(name), [&](QPainter& painter) {
      const QRectF box(0.5, 0.5, size.width() - 1, size.height() - 1);
      const QPainterPath shape = roundedRect(box, 6);
      painter.fillPath(shape, vertical(0, size.height(), look.top, look.bottom));
      topHighlight(painter, roundedRect(box.adjusted(1, 1, -1, -1), 5), look.highlight);
      painter.setPen(QPen(look.edge, 1));
      painter.setBrush(Qt::NoBrush);
      painter.drawPath(shape);
    });
  }
}

// --- check box and radio buttons

enum class Toggle { On, Off };
enum class Availability { Enabled, Disabled };

QString toggleName(const char* kind, Toggle toggle, Availability availability) {
  return QString("%1_%2%3").arg(kind, toggle == Toggle::On ? "on" : "off",
                                availability == Availability::Disabled ? "_disabled" : "");
}

void drawCheck(Toggle toggle, Availability availability) {
  const bool enabled = availability == Availability::Enabled;
  draw(13, 13, qPrintable(toggleName("check", toggle, availability)), [&](QPainter& painter) {
    const QPainterPath box = roundedRect(QRectF(0.5, 0.5, 12, 12), 2.5);
    if (toggle == Toggle::On && enabled) {
      painter.fillPath(box, vertical(0, 13, QColor(52, 180, 202), Colour::kAccentDark));
      painter.setPen(QPen(Colour::kAccentEdge, 1));
    } else {
      painter.fillPath(box, enabled ? Colour::kControlFill : Colour::kDisabledFill);
      painter.setPen(QPen(enabled ? Colour::kControlEdge : Colour::kDisabledEdge, 1));
    }
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(box);
    if (toggle == Toggle::Off) return;
    QPainterPath tick;
    tick.moveTo(3, 6.6);
    tick.lineTo(5.4, 9);
    tick.lineTo(10, 3.8);
    painter.setPen(
        QPen(enabled ? Qt::white : QColor(128, 134, 144), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(tick);
  });
}

void drawRadio(Toggle toggle, Availability availability) {
  const bool enabled = availability == Availability::Enabled;
  draw(13, 13, qPrintable(toggleName("radio", toggle, availability)), [&](QPainter& painter) {
    const QPointF centre(6.5, 6.5);
    painter.setBrush(enabled ? Colour::kControlFill : Colour::kDisabledFill);
    const QColor edge = !enabled               ? Colour::kDisabledEdge
                        : toggle == Toggle::On ? Colour::kAccent
                                               : Colour::kControlEdge;
    painter.setPen(QPen(edge, 1.2));
    painter.drawEllipse(centre, 5.8, 5.8);
    if (toggle == Toggle::Off) return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(enabled ? Colour::kAccentLight : QColor(128, 134, 144));
    painter.drawEllipse(centre, 3, 3);
  });
}

void drawToggles() {
  for (Toggle toggle : {Toggle::On, Toggle::Off}) {
    for (Availability availability : {Availability::Enabled, Availability::Disabled}) {
      drawCheck(toggle, availability);
      drawRadio(toggle, availability);
    }
  }
}

// --- framed-box corners
//
// The box's lines run one pixel wide; each corner is a quarter ellipse from
// the end of one line to the start of the other, so the four corners join
// the lines exactly where the box draws them (top line at row 0 of the upper
// corners, the side lines at column 0 or 7, the bottom line at row 6 of the
// lower right and row 7 of the lower left corner).

void drawCorner(const char* name, QPointF centre, qreal radiusX, qreal radiusY, int startAngle) {
  draw(8, 8, name, [&](QPainter& painter) {
    painter.setPen(QPen(Colour::kBoxLine, 1.25));  // a hair heavier: a bare 1-pixel arc looks faint
    painter.setBrush(Qt::NoBrush);
    const QRectF ellipse(centre.x() - radiusX, centre.y() - radiusY, 2 * radiusX, 2 * radiusY);
    painter.drawArc(ellipse, startAngle * 16, 90 * 16);
  });
}

void drawBoxCorners() {
  drawCorner("box_corner_tl", QPointF(8.5, 8.5), 8, 8, 90);
  drawCorner("box_corner_tr", QPointF(0.5, 8.5), 7, 8, 0);
  drawCorner("box_corner_br", QPointF(0.5, 0.5), 7, 6, 270);
  drawCorner("box_corner_bl", QPointF(8.5, 0.5), 8, 7, 180);
}

// --- progress dialog

void drawDownloadGlyph(QPainter& painter, QPointF origin) {
  painter.setPen(QPen(Colour::kAccentLight, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  const qreal x = origin.x();
  const qreal y = origin.y();
  painter.drawLine(QPointF(x + 8, y + 1), QPointF(x + 8, y + 10));
  painter.drawPolyline(
      QPolygonF({QPointF(x + 4, y + 6.5), QPointF(x + 8, y + 10.5), QPointF(x + 12, y + 6.5)}));
  painter.drawPolyline(QPolygonF({QPointF(x + 1.5, y + 11), QPointF(x + 1.5, y + 15),
                                  QPointF(x + 14.5, y + 15), QPointF(x + 14.5, y + 11)}));
}

void drawProgressDialog() {
  draw(433, 148, "down2_bg", [](QPainter& painter) {
    painter.fillRect(QRect(0, 0, 433, 148), vertical(0, 148, QColor(34, 40, 51), QColor(25, 29, 37)));
    painter.fillRect(QRect(0, 0, 433, 33), vertical(0, 33, Colour::kHeadingTop, Colour::kHeadingBottom));
    QLinearGradient rule(0, 0, 433, 0);
    rule.setColorAt(0, withAlpha(Colour::kAccent, 0));
    rule.setColorAt(0.5, Colour::kAccent);
    rule.setColorAt(1, withAlpha(Colour::kAccent, 0));
    painter.fillRect(QRect(0, 33, 433, 1), rule);
    // The bar's track; the bar grows over it from the left.
    painter.setPen(QPen(QColor(58, 66, 80), 1));
    painter.setBrush(QColor(15, 18, 23));
    painter.drawRoundedRect(QRectF(54.5, 69.5, 320, 18), 3, 3);
    drawDownloadGlyph(painter, QPointF(30, 70));
    painter.setPen(QPen(Colour::kBoxLine, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(0.5, 0.5, 432, 147));
  });

  // Stretched to any width between 1 and 319, so it only varies downwards.
  draw(319, 17, "progress_bar", [](QPainter& painter) {
    QLinearGradient fill = vertical(0, 17, QColor(118, 222, 238), QColor(24, 128, 148));
    fill.setColorAt(0.45, QColor(52, 178, 200));
    painter.fillRect(QRect(0, 0, 319, 17), fill);
    painter.fillRect(QRect(0, 0, 319, 1), QColor(170, 240, 250));
    painter.fillRect(QRect(0, 16, 319, 1), QColor(18, 96, 112));
  });
}

void drawAppIcon() {
  draw(64, 64, "app_icon", [](QPainter& painter) { drawEmblem(painter, QRectF(0, 0, 64, 64)); });
}

// The installed program's icon at the sizes desktops look for, as
// <size>x<size>/apps/<application id>.png of an icon theme folder.
void drawThemeIcons() {
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1x%1/apps").arg(size);
    if (!QDir(g_outputFolder).mkpath(folder)) {
      std::fprintf(stderr, "skin-gen: cannot create %s\n", qPrintable(folder));
      ++g_failures;
      continue;
    }
    const QByteArray name = (folder + QStringLiteral("/org.nimbra.wallpaper")).toUtf8();
    draw(size, size, name.constData(),
         [size](QPainter& painter) { drawEmblem(painter, QRectF(0, 0, size, size)); });
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool icons = argc == 3 && std::strcmp(argv[1], "--icons") == 0;
  if (argc != 2 && !icons) {
    std::fprintf(stderr, "usage: skin-gen OUTPUT_FOLDER | skin-gen --icons ICON_THEME_FOLDER\n");
    return 2;
  }
  g_outputFolder = QString::fromLocal8Bit(argv[argc - 1]);
  if (!QDir().mkpath(g_outputFolder)) {
    std::fprintf(stderr, "skin-gen: cannot create %s\n", argv[argc - 1]);
    return 1;
  }
  if (icons) {
    drawThemeIcons();
    return g_failures == 0 ? 0 : 1;
  }
  drawMainBackground();
  drawWindowButtons();
  drawTabs();
  drawCategoryColumn();
  drawGrid();
  drawPushButtons("btn_wide", QSize(208, 31));
  drawPushButtons("btn_small", QSize(107, 31));
  drawToggles();
  drawBoxCorners();
  drawProgressDialog();
  drawAppIcon();
  return g_failures == 0 ? 0 : 1;
}
