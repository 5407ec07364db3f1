#include "skin/SkinControls.h"

#include <QAccessible>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

QFont pixelFont(int pixels, bool bold) {
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

QPixmap skinBitmap(const QString& name, QSize fallbackSize, qreal devicePixelRatio) {
  if (devicePixelRatio > 1) {
    QPixmap sharp(QStringLiteral(":/skin/%1@2x.png").arg(name));
    if (!sharp.isNull()) {
      sharp.setDevicePixelRatio(2);
      return sharp;
    }
  }
  QPixmap pixmap(QStringLiteral(":/skin/%1.png").arg(name));
  if (!pixmap.isNull()) return pixmap;
  pixmap = QPixmap(fallbackSize);
  pixmap.fill(QColor(48, 52, 60));
  return pixmap;
}

QIcon skinIcon(const QString& name) {
  QIcon icon;
  icon.addPixmap(skinBitmap(name, QSize(64, 64)));
  icon.addPixmap(skinBitmap(name, QSize(64, 64), 2));
  return icon;
}

void drawFocusMark(QPainter& painter, const QRectF& box) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(Qt::NoBrush);
  // A light ring round a dark one: one of the two stands out on the dark
  // frame, the accent highlight bar and the white grid alike.
  painter.setPen(QPen(QColor(255, 255, 255, 235), 1));
  painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
  painter.setPen(QPen(QColor(17, 92, 106), 1));
  painter.drawRoundedRect(box.adjusted(1.5, 1.5, -1.5, -1.5), 2, 2);
  painter.restore();
}

QString captionDisplayText(const QString& caption) {
  QString shown;
  shown.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      shown += caption[i];
      continue;
    }
    if (i + 1 < caption.size() && caption[i + 1] == '&') {
      shown += '&';
      ++i;
    }
  }
  return shown;
}

namespace {
// A caption that would not fit its fixed box is drawn a little smaller
// instead of being cut off.
QFont fittedFont(const QFont& font, const QString& text, int width) {
  QFont fitted = font;
  if (fitted.pixelSize() <= 0) fitted.setPixelSize(QFontInfo(font).pixelSize());
  while (fitted.pixelSize() > 8 && QFontMetrics(fitted).horizontalAdvance(text) > width)
    fitted.setPixelSize(fitted.pixelSize() - 1);
  return fitted;
}

bool isEnterKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// Space and Enter, without Ctrl, Alt or Shift, act on the focused control as
// a click does.
bool isPlainActivation(const QKeyEvent* event) {
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  return plain && (event->key() == Qt::Key_Space || isEnterKey(event->key()));
}

// Screen readers that listen hear that a control became selected or not.
void notifySelectionChange(QWidget* control) {
  if (!QAccessible::isActive()) return;
  QAccessible::State changed;
  changed.selected = true;
  QAccessibleStateChangeEvent event(control, changed);
  QAccessible::updateAccessibility(&event);
}

void drawStretched(QPainter& painter, const QRect& box, const QPixmap& picture) {
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawPixmap(box, picture);
}

void drawCaption(QPainter& painter, const QRect& box, const QString& caption, const QColor& color,
                 const QFont& font) {
  painter.setPen(color);
  painter.setFont(font);
  painter.drawText(box, Qt::AlignCenter, captionDisplayText(caption));
}
}  // namespace

// --- SkinImage

SkinImage::SkinImage(QWidget* parent) : QWidget(parent) {}

void SkinImage::setPicture(const QPixmap& picture) {
  m_picture = picture;
  m_bitmapName.clear();
  update();
}

void SkinImage::setPicture(const QImage& picture) { setPicture(QPixmap::fromImage(picture)); }

void SkinImage::setSkinBitmap(const QString& name) {
  m_picture = QPixmap();
  m_bitmapName = name;
  update();
}

void SkinImage::clearPicture() { setPicture(QPixmap()); }

QPixmap SkinImage::picture() const {
  return m_bitmapName.isEmpty() ? m_picture : ::skinBitmap(m_bitmapName, size(), devicePixelRatioF());
}

void SkinImage::setSelected(bool selected) {
  if (m_selected == selected) return;
  m_selected = selected;
  notifySelectionChange(this);
}

void SkinImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (hasPicture()) drawStretched(painter, rect(), picture());
  if (hasFocus()) drawFocusMark(painter, rect());
}

void SkinImage::keyPressEvent(QKeyEvent* event) {
  if (!isPlainActivation(event)) {
    event->ignore();
    return;
  }
  // A double click is a click and then the double click.
  emit clicked();
  if (isEnterKey(event->key())) emit doubleClicked();
}

PictureGrid::PictureGrid(QWidget* parent) : QFrame(parent) {}

void SkinImage::mousePressEvent(QMouseEvent* event) {
  emit mousePressed(event->button(), event->position().toPoint());
  QWidget::mousePressEvent(event);
}

void SkinImage::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
  QWidget::mouseReleaseEvent(event);
}

void SkinImage::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit doubleClicked();
}

// --- SkinLabel

SkinLabel::SkinLabel(QWidget* parent) : QLabel(parent), m_requestedFont(font()) {
  // Captions come from a language file: never read them as markup.
  setTextFormat(Qt::PlainText);
  applyPalette();
}

void SkinLabel::setCaption(const QString& caption) {
  m_caption = caption;
  setPlainText(captionDisplayText(caption));
  fitToCaption();
}

namespace {
// A QLabel that takes the focus builds a whole text document for its text,
// some 4 KB and a layout pass per link at start-up. A caption is plain text
// that the label draws as well without one; focus builds it when needed.
// While this lives, the label does not look focusable.
class FocusPolicyHidden {
 public:
  explicit FocusPolicyHidden(QWidget& widget) : m_widget(widget), m_policy(widget.focusPolicy()) {
    m_widget.setFocusPolicy(Qt::NoFocus);
  }
  ~FocusPolicyHidden() { m_widget.setFocusPolicy(m_policy); }
  FocusPolicyHidden(const FocusPolicyHidden&) = delete;
  FocusPolicyHidden& operator=(const FocusPolicyHidden&) = delete;

 private:
  QWidget& m_widget;
  const Qt::FocusPolicy m_policy;
};
}  // namespace

void SkinLabel::setPlainText(const QString& text) {
  const FocusPolicyHidden unfocusable(*this);
  setText(text);
}

// Polishing builds that document too, for every focusable label at once as
// the window first shows.
bool SkinLabel::event(QEvent* event) {
  if (event->type() != QEvent::Polish) return QLabel::event(event);
  const FocusPolicyHidden unfocusable(*this);
  return QLabel::event(event);
}

void SkinLabel::setFont(const QFont& font) {
  m_requestedFont = font;
  fitToCaption();
}

void SkinLabel::setSizing(LabelSizing sizing) {
  m_sizing = sizing;
  fitToCaption();
}

void SkinLabel::fitToCaption() {
  if (m_sizing == LabelSizing::Fixed) {
    // A hidden label is fitted when it shows: its measuring may cost a font
    // of its own, which the start need not pay for a tip it rarely shows.
    m_fitOnShow = isHidden();
    if (!m_fitOnShow) QLabel::setFont(fittedFont(m_requestedFont, text(), width()));
    return;
  }
  QLabel::setFont(m_requestedFont);
  // Rounded up: a width rounded to the nearest pixel can cut the last one.
  const int captionWidth = qCeil(QFontMetricsF(font()).horizontalAdvance(text()));
  if (width() != captionWidth) resize(captionWidth, height());
}

void SkinLabel::showEvent(QShowEvent* event) {
  if (m_fitOnShow) fitToCaption();
  QLabel::showEvent(event);
}

void SkinLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  fitToCaption();
}

void SkinLabel::setRole(LabelRole role) {
  m_role = role;
  setFocusPolicy(role == LabelRole::Link ? Qt::TabFocus : Qt::NoFocus);
}

void SkinLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QPainter painter(this);
  drawFocusMark(painter, rect());
}

void SkinLabel::keyPressEvent(QKeyEvent* event) {
  if (m_role == LabelRole::Link && isPlainActivation(event)) {
    emit clicked();
    return;
  }
  event->ignore();
}

void SkinLabel::setFontColor(const QColor& color) {
  m_fontColor = color;
  applyPalette();
}

void SkinLabel::setBackground(const QColor& color) {
  m_background = color;
  setAutoFillBackground(color.isValid());
  applyPalette();
}

void SkinLabel::setUnderline(bool underline) {
  QFont f = m_requestedFont;
  f.setUnderline(underline);
  setFont(f);
}

void SkinLabel::setBold(bool bold) {
  QFont f = m_requestedFont;
  f.setBold(bold);
  setFont(f);
}

void SkinLabel::setHoverColor(const QColor& color) {
  m_hoverColor = color;
  applyPalette();
}

void SkinLabel::applyPalette() {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, m_hovered && m_hoverColor.isValid() ? m_hoverColor : m_fontColor);
  if (m_background.isValid()) p.setColor(QPalette::Window, m_background);
  setPalette(p);
}

void SkinLabel::mousePressEvent(QMouseEvent* event) {
  emit mousePressed(event->button(), event->position().toPoint());
  QLabel::mousePressEvent(event);
}

void SkinLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
  QLabel::mouseReleaseEvent(event);
}

void SkinLabel::enterEvent(QEnterEvent* event) {
  m_hovered = true;
  applyPalette();
  emit mouseEntered();
  QLabel::enterEvent(event);
}

void SkinLabel::leaveEvent(QEvent* event) {
  m_hovered = false;
  applyPalette();
  emit mouseLeft();
  QLabel::leaveEvent(event);
}

// --- PictureButton

PictureButton::PictureButton(const QString& bitmapBase, QWidget* parent)
    : QAbstractButton(parent), m_base(bitmapBase) {
  setCursor(Qt::PointingHandCursor);
  // A click leaves the focus where it was; only the keyboard brings it here.
  setFocusPolicy(Qt::TabFocus);
  QFont f = font();
  f.setBold(true);
  setFont(f);
}

void PictureButton::setCaption(const QString& caption) {
  m_caption = caption;
  setText(captionDisplayText(caption));
  update();
}

void PictureButton::paintEvent(QPaintEvent*) {
  const char* state = !isEnabled() ? "disabled" : isDown() ? "down" : m_hover ? "hover" : "normal";
  QPainter painter(this);
  drawStretched(painter, rect(), skinBitmap(m_base + '_' + state, size(), devicePixelRatioF()));
  if (hasFocus()) drawFocusMark(painter, rect().adjusted(2, 2, -2, -2));
  if (m_caption.isEmpty()) return;
  const QColor color = isEnabled() ? m_captionColor : QColor(150, 150, 150);
  drawCaption(painter, rect().translated(isDown() ? 1 : 0, isDown() ? 1 : 0), m_caption, color, font());
}

void PictureButton::setOpen(bool open) {
  if (m_open == open) return;
  m_open = open;
  notifySelectionChange(this);
}

void PictureButton::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!isPlainActivation(event)) break;
      click();
      return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
      break;
    default:
      QAbstractButton::keyPressEvent(event);
      return;
  }
  event->ignore();
}

void PictureButton::enterEvent(QEnterEvent* event) {
  m_hover = true;
  update();
  QAbstractButton::enterEvent(event);
}

void PictureButton::leaveEvent(QEvent* event) {
  m_hover = false;
  update();
  QAbstractButton::leaveEvent(event);
}

// --- PicturePanel

PicturePanel::PicturePanel(QWidget* parent) : QWidget(parent) {}

void PicturePanel::setPicture(const QPixmap& picture) {
  m_picture = picture;
  m_bitmapName.clear();
  update();
}

void PicturePanel::setSkinBitmap(const QString& name) {
  m_picture = QPixmap();
  m_bitmapName = name;
  update();
}

QPixmap PicturePanel::picture() const {
  return m_bitmapName.isEmpty() ? m_picture : ::skinBitmap(m_bitmapName, size(), devicePixelRatioF());
}

void PicturePanel::setFocusMarkShown(bool shown) {
  if (m_focusMarkShown == shown) return;
  m_focusMarkShown = shown;
  update();
}

void PicturePanel::setCaption(const QString& caption) {
  m_caption = caption;
  update();
}

void PicturePanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (m_fill.isValid()) painter.fillRect(rect(), m_fill);
  const QPixmap shown = picture();
  if (!shown.isNull()) drawStretched(painter, rect(), shown);
  if (m_focusMarkShown) drawFocusMark(painter, rect().adjusted(2, 2, -2, 0));
  if (m_caption.isEmpty()) return;
  QFont f = font();
  f.setBold(true);
  drawCaption(painter, rect(), m_caption, m_captionColor, f);
}

// --- FramedBox

FramedBox::FramedBox(QWidget* parent) : QWidget(parent) {}

void FramedBox::paintEvent(QPaintEvent*) {
  // Corners stand 8 pixels in from the right and 12 up from the bottom; the
  // lines join them, so the box follows its own size.
  QPainter painter(this);
  const int right = width() - 18;
  const int bottom = height() - 12;
  // A light card inside the frame, so the page's dark captions read on it.
  painter.fillRect(QRect(QPoint(2, 10), QPoint(right + 7, bottom + 6)), QColor(234, 238, 243));
  painter.setPen(QColor(24, 123, 141));
  painter.drawLine(10, 10, right + 1, 10);
  painter.drawLine(10, bottom + 6, right + 1, bottom + 6);
  painter.drawLine(2, 18, 2, bottom);
  painter.drawLine(right + 7, 18, right + 7, bottom);
  const qreal ratio = devicePixelRatioF();
  painter.drawPixmap(2, 10, skinBitmap("box_corner_tl", QSize(8, 8), ratio));
  painter.drawPixmap(right, 10, skinBitmap("box_corner_tr", QSize(8, 8), ratio));
  painter.drawPixmap(right, bottom, skinBitmap("box_corner_br", QSize(8, 8), ratio));
  painter.drawPixmap(2, bottom - 1, skinBitmap("box_corner_bl", QSize(8, 8), ratio));
}

// --- SkinShape

SkinShape::SkinShape(const QColor& pen, const QColor& brush, QWidget* parent)
    : QWidget(parent), m_pen(pen), m_brush(brush) {}

void SkinShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), m_brush);
  painter.setPen(m_pen);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// --- check box and radio buttons

namespace {
void paintToggle(QWidget* widget, const QString& kind, bool checked, const QString& caption,
                 const QColor& color) {
  QPainter painter(widget);
  const QString state =
      QString("%1_%2%3").arg(kind, checked ? "on" : "off", widget->isEnabled() ? "" : "_disabled");
  const int top = (widget->height() - 13) / 2;
  painter.drawPixmap(0, top, skinBitmap(state, QSize(13, 13), widget->devicePixelRatioF()));
  painter.setPen(color);
  const QString text = captionDisplayText(caption);
  const QRect box(18, 0, widget->width() - 18, widget->height());
  const QFont font = fittedFont(widget->font(), text, box.width());
  painter.setFont(font);
  QRect drawn;
  painter.drawText(box, Qt::AlignVCenter | Qt::AlignLeft, text, &drawn);
  if (widget->hasFocus()) drawFocusMark(painter, drawn.adjusted(-3, -1, 3, 1).intersected(widget->rect()));
}

void makeKeyboardToggle(QWidget* widget) {
  widget->setCursor(Qt::PointingHandCursor);
  widget->setFocusPolicy(Qt::TabFocus);
}
}  // namespace

SkinCheckBox::SkinCheckBox(QWidget* parent) : QWidget(parent) { makeKeyboardToggle(this); }

void SkinCheckBox::keyPressEvent(QKeyEvent* event) {
  if (!isPlainActivation(event)) {
    event->ignore();
    return;
  }
  click();
}

void SkinCheckBox::setChecked(bool checked) {
  if (m_checked == checked) return;
  m_checked = checked;
  update();
}

void SkinCheckBox::click() {
  setChecked(!m_checked);
  emit clicked();
}

void SkinCheckBox::setCaption(const QString& caption) {
  m_caption = caption;
  update();
}

void SkinCheckBox::setFontColor(const QColor& color) {
  m_fontColor = color;
  update();
}

void SkinCheckBox::paintEvent(QPaintEvent*) { paintToggle(this, "check", m_checked, m_caption, m_fontColor); }

void SkinCheckBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) click();
}

SkinRadioButton::SkinRadioButton(QWidget* parent) : QWidget(parent) { makeKeyboardToggle(this); }

void SkinRadioButton::keyPressEvent(QKeyEvent* event) {
  if (isPlainActivation(event)) {
    click();
    return;
  }
  const int key = event->key();
  const int step = key == Qt::Key_Right || key == Qt::Key_Down ? 1
                   : key == Qt::Key_Left || key == Qt::Key_Up  ? -1
                                                               : 0;
  if (step == 0 || !moveInGroup(step)) event->ignore();
}

// The arrows tick the next option of the group that can be ticked, as a click on it would.
bool SkinRadioButton::moveInGroup(int step) {
  const qsizetype count = m_group.size();
  const qsizetype here = m_group.indexOf(this);
  for (qsizetype k = here + step; here >= 0 && k >= 0 && k < count; k += step) {
    SkinRadioButton* next = m_group[k];
    if (!next->isEnabled() || !next->isVisible()) continue;
    next->setFocus(Qt::TabFocusReason);
    next->click();
    return true;
  }
  return false;
}

void SkinRadioButton::makeGroup(const QList<SkinRadioButton*>& group) {
  for (SkinRadioButton* button : group) button->m_group = group;
}

void SkinRadioButton::setChecked(bool checked) {
  if (m_checked == checked) return;
  if (checked) {
    for (SkinRadioButton* other : m_group)
      if (other != this) other->setChecked(false);
  }
  m_checked = checked;
  update();
}

void SkinRadioButton::click() {
  if (m_checked) return;
  setChecked(true);
  emit clicked();
}

void SkinRadioButton::setCaption(const QString& caption) {
  m_caption = caption;
  update();
}

void SkinRadioButton::setFontColor(const QColor& color) {
  m_fontColor = color;
  update();
}

void SkinRadioButton::paintEvent(QPaintEvent*) {
  paintToggle(this, "radio", m_checked, m_caption, m_fontColor);
}

void SkinRadioButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) click();
}

// --- SkinListView

SkinListView::SkinListView(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void SkinListView::showEvent(QShowEvent* event) {
  // Styled when first shown: the list sits on a page that most starts never
  // open, and a style sheet costs start-up memory and time.
  if (styleSheet().isEmpty())
    setStyleSheet(
        "QListWidget { background: rgb(240,240,240); border: 2px solid rgb(104,104,104); }"
        "QListWidget::item:selected { background: rgb(0,120,215); color: white; }"
        "QListWidget::item:selected:!active { background: rgb(0,120,215); color: white; }");
  QListWidget::showEvent(event);
}

void SkinListView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
    emit deletePressed();
    return;
  }
  QListWidget::keyPressEvent(event);
}
