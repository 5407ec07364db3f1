#include "skin/SkinControls.h"

#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

QPixmap SkinBitmap(const QString& name, QSize fallbackSize) {
  QPixmap pixmap(QStringLiteral(":/skin/%1.png").arg(name));
  if (!pixmap.isNull()) return pixmap;
  pixmap = QPixmap(fallbackSize);
  pixmap.fill(QColor(48, 52, 60));
  return pixmap;
}

QString CaptionDisplayText(const QString& caption) {
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
QFont FittedFont(const QFont& font, const QString& text, int width) {
  QFont fitted = font;
  if (fitted.pixelSize() <= 0) fitted.setPixelSize(QFontInfo(font).pixelSize());
  while (fitted.pixelSize() > 8 && QFontMetrics(fitted).horizontalAdvance(text) > width)
    fitted.setPixelSize(fitted.pixelSize() - 1);
  return fitted;
}

void DrawCaption(QPainter& painter, const QRect& box, const QString& caption, const QColor& color,
                 const QFont& font) {
  painter.setPen(color);
  painter.setFont(font);
  painter.drawText(box, Qt::AlignCenter, CaptionDisplayText(caption));
}
}  // namespace

// --- TImage

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::setPicture(const QPixmap& picture) {
  m_picture = picture;
  update();
}

void TImage::setPicture(const QImage& picture) { setPicture(QPixmap::fromImage(picture)); }

void TImage::clearPicture() {
  m_picture = QPixmap();
  update();
}

void TImage::paintEvent(QPaintEvent*) {
  if (m_picture.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawPixmap(rect(), m_picture);
}

void TImage::mousePressEvent(QMouseEvent* event) {
  emit mousePressed(event->button(), event->position().toPoint());
  QWidget::mousePressEvent(event);
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
  QWidget::mouseReleaseEvent(event);
}

void TImage::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit doubleClicked();
}

// --- TLabel

TLabel::TLabel(QWidget* parent) : QLabel(parent), m_requestedFont(font()) {
  // Captions come from a language file: never read them as markup.
  setTextFormat(Qt::PlainText);
  applyPalette();
}

void TLabel::setCaption(const QString& caption) {
  m_caption = caption;
  setText(CaptionDisplayText(caption));
  fitFont();
}

void TLabel::setFont(const QFont& font) {
  m_requestedFont = font;
  fitFont();
}

void TLabel::fitFont() { QLabel::setFont(FittedFont(m_requestedFont, text(), width())); }

void TLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  fitFont();
}

void TLabel::setFontColor(const QColor& color) {
  m_fontColor = color;
  applyPalette();
}

void TLabel::setBackground(const QColor& color) {
  m_background = color;
  setAutoFillBackground(color.isValid());
  applyPalette();
}

void TLabel::setUnderline(bool underline) {
  QFont f = m_requestedFont;
  f.setUnderline(underline);
  setFont(f);
}

void TLabel::setBold(bool bold) {
  QFont f = m_requestedFont;
  f.setBold(bold);
  setFont(f);
}

void TLabel::applyPalette() {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, m_fontColor);
  if (m_background.isValid()) p.setColor(QPalette::Window, m_background);
  setPalette(p);
}

void TLabel::mousePressEvent(QMouseEvent* event) {
  emit mousePressed(event->button(), event->position().toPoint());
  QLabel::mousePressEvent(event);
}

void TLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
  QLabel::mouseReleaseEvent(event);
}

void TLabel::enterEvent(QEnterEvent* event) {
  emit mouseEntered();
  QLabel::enterEvent(event);
}

void TLabel::leaveEvent(QEvent* event) {
  emit mouseLeft();
  QLabel::leaveEvent(event);
}

// --- TPictureButton

TPictureButton::TPictureButton(const QString& bitmapBase, QWidget* parent)
    : QAbstractButton(parent), m_base(bitmapBase) {
  setCursor(Qt::PointingHandCursor);
  QFont f = font();
  f.setBold(true);
  setFont(f);
}

void TPictureButton::setCaption(const QString& caption) {
  m_caption = caption;
  setText(CaptionDisplayText(caption));
  update();
}

void TPictureButton::paintEvent(QPaintEvent*) {
  const char* state = !isEnabled() ? "disabled" : isDown() ? "down" : m_hover ? "hover" : "normal";
  QPainter painter(this);
  painter.drawPixmap(rect(), SkinBitmap(m_base + '_' + state, size()));
  if (m_caption.isEmpty()) return;
  const QColor color = isEnabled() ? m_captionColor : QColor(150, 150, 150);
  DrawCaption(painter, rect().translated(isDown() ? 1 : 0, isDown() ? 1 : 0), m_caption, color, font());
}

void TPictureButton::enterEvent(QEnterEvent* event) {
  m_hover = true;
  update();
  QAbstractButton::enterEvent(event);
}

void TPictureButton::leaveEvent(QEvent* event) {
  m_hover = false;
  update();
  QAbstractButton::leaveEvent(event);
}

// --- TPicturePanel

TPicturePanel::TPicturePanel(QWidget* parent) : QWidget(parent) {}

void TPicturePanel::setPicture(const QPixmap& picture) {
  m_picture = picture;
  update();
}

void TPicturePanel::setCaption(const QString& caption) {
  m_caption = caption;
  update();
}

void TPicturePanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (m_fill.isValid()) painter.fillRect(rect(), m_fill);
  if (!m_picture.isNull()) painter.drawPixmap(rect(), m_picture);
  if (m_caption.isEmpty()) return;
  QFont f = font();
  f.setBold(true);
  DrawCaption(painter, rect(), m_caption, m_captionColor, f);
}

// --- TFramedBox

TFramedBox::TFramedBox(QWidget* parent) : QWidget(parent) {}

void TFramedBox::paintEvent(QPaintEvent*) {
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
  painter.drawPixmap(2, 10, SkinBitmap("box_corner_tl", QSize(8, 8)));
  painter.drawPixmap(right, 10, SkinBitmap("box_corner_tr", QSize(8, 8)));
  painter.drawPixmap(right, bottom, SkinBitmap("box_corner_br", QSize(8, 8)));
  painter.drawPixmap(2, bottom - 1, SkinBitmap("box_corner_bl", QSize(8, 8)));
}

// --- TShape

TShape::TShape(const QColor& pen, const QColor& brush, QWidget* parent)
    : QWidget(parent), m_pen(pen), m_brush(brush) {}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), m_brush);
  painter.setPen(m_pen);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// --- check box and radio buttons

namespace {
void PaintToggle(QWidget* widget, const QString& kind, bool checked, const QString& caption,
                 const QColor& color) {
  QPainter painter(widget);
  const QString state = QString("%1_%2%3").arg(kind, checked ? "on" : "off",
                                                widget->isEnabled() ? "" : "_disabled");
  const int top = (widget->height() - 13) / 2;
  painter.drawPixmap(0, top, SkinBitmap(state, QSize(13, 13)));
  painter.setPen(color);
  const QString text = CaptionDisplayText(caption);
  const QRect box(18, 0, widget->width() - 18, widget->height());
  painter.setFont(FittedFont(widget->font(), text, box.width()));
  painter.drawText(box, Qt::AlignVCenter | Qt::AlignLeft, text);
}
}  // namespace

TCheckBox::TCheckBox(QWidget* parent) : QWidget(parent) { setCursor(Qt::PointingHandCursor); }

void TCheckBox::setChecked(bool checked) {
  if (m_checked == checked) return;
  m_checked = checked;
  update();
  emit Click();
}

void TCheckBox::setCaption(const QString& caption) {
  m_caption = caption;
  update();
}

void TCheckBox::setFontColor(const QColor& color) {
  m_fontColor = color;
  update();
}

void TCheckBox::paintEvent(QPaintEvent*) { PaintToggle(this, "check", m_checked, m_caption, m_fontColor); }

void TCheckBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) setChecked(!m_checked);
}

TRadioButton::TRadioButton(QWidget* parent) : QWidget(parent) { setCursor(Qt::PointingHandCursor); }

void TRadioButton::MakeGroup(const QList<TRadioButton*>& group) {
  for (TRadioButton* button : group) button->m_group = group;
}

void TRadioButton::setChecked(bool checked) {
  if (m_checked == checked) return;
  if (checked) {
    for (TRadioButton* other : m_group)
      if (other != this) other->setChecked(false);
  }
  m_checked = checked;
  update();
  if (checked) emit Click();
}

void TRadioButton::setCaption(const QString& caption) {
  m_caption = caption;
  update();
}

void TRadioButton::setFontColor(const QColor& color) {
  m_fontColor = color;
  update();
}

void TRadioButton::paintEvent(QPaintEvent*) { PaintToggle(this, "radio", m_checked, m_caption, m_fontColor); }

void TRadioButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) setChecked(true);
}

// --- TListView

TListView::TListView(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setStyleSheet(
      "QListWidget { background: rgb(240,240,240); border: 2px solid rgb(104,104,104); }"
      "QListWidget::item:selected { background: rgb(0,120,215); color: white; }"
      "QListWidget::item:selected:!active { background: rgb(0,120,215); color: white; }");
}
