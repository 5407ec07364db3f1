// The skinned controls of the windows: pictures, labels, buttons, panels,
// check box, radio buttons and the list view, drawn from the skin bitmaps.
#pragma once

#include <QAbstractButton>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QWidget>

// A skin bitmap by name (":/skin/<name>.png"); a plain stand-in when absent,
// so a missing bitmap never leaves a control invisible. On a screen with more
// than one device pixel a logical pixel the "@2x" twin is taken where there
// is one, so edges stay sharp instead of being the small bitmap blown up.
QPixmap skinBitmap(const QString& name, QSize fallbackSize = QSize(16, 16), qreal devicePixelRatio = 1);

// The window icon: the skin bitmap in both sizes.
QIcon skinIcon(const QString& name);

// The mark around the control that has the keyboard focus.
void drawFocusMark(QPainter& painter, const QRectF& box);

// The desktop's sans-serif font at a size in pixels, as the skin was drawn for.
QFont pixelFont(int pixels, bool bold = false);

// The colour of the current page's link; the others are black.
inline const QColor kCurrentPageColour(0, 128, 255);

// Caption text as shown: a single "&" marks a mnemonic and is not shown,
// "&&" shows one "&".
QString captionDisplayText(const QString& caption);

// A picture, stretched to the control, with mouse events. One that takes
// the focus acts on Space as on a click and on Enter as on a double click.
class SkinImage : public QWidget {
  Q_OBJECT
 public:
  explicit SkinImage(QWidget* parent = nullptr);
  void setPicture(const QPixmap& picture);
  void setPicture(const QImage& picture);
  // A skin bitmap, drawn from the set that matches the screen it is on.
  void setSkinBitmap(const QString& name);
  const QString& skinBitmap() const { return m_bitmapName; }
  void clearPicture();
  QPixmap picture() const;
  bool hasPicture() const { return !m_picture.isNull() || !m_bitmapName.isEmpty(); }
  // Marked as chosen, for screen readers: the selected slot of a grid.
  void setSelected(bool selected);
  bool isSelected() const { return m_selected; }
  void click() { emit clicked(); }

 signals:
  void clicked();
  void doubleClicked();
  void mousePressed(Qt::MouseButton button, QPoint pos);

 protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QPixmap m_picture;
  QString m_bitmapName;
  bool m_selected = false;
};

// A frame whose images are the items of a list, for screen readers: the
// grid of thumbnails reads as a list of its slots, the selected one marked.
class PictureGrid : public QFrame {
  Q_OBJECT
 public:
  explicit PictureGrid(QWidget* parent = nullptr);
  void setItems(const QList<SkinImage*>& items) { m_items = items; }
  const QList<SkinImage*>& items() const { return m_items; }

 private:
  QList<SkinImage*> m_items;
};

// How a label's size follows its caption.
enum class LabelSizing {
  Fixed,        // the box stays; a caption too wide for it is drawn a little smaller
  FitsCaption,  // the width follows the caption, from the left edge, in the font asked for
};

// What a label is to the user: text to read, or a link that takes the focus
// from the keyboard and acts on Space and Enter as on a click.
enum class LabelRole { Text, Link };

// A text label with a caption (mnemonic rule), a font colour and mouse events.
class SkinLabel : public QLabel {
  Q_OBJECT
 public:
  explicit SkinLabel(QWidget* parent = nullptr);
  void setCaption(const QString& caption);
  const QString& caption() const { return m_caption; }
  void setFontColor(const QColor& color);
  QColor fontColor() const { return m_fontColor; }
  // The font colour while the mouse is over the label; none keeps the font colour.
  void setHoverColor(const QColor& color);
  void setBackground(const QColor& color);  // opaque background
  void setUnderline(bool underline);
  void setBold(bool bold);
  void setFont(const QFont& font);
  const QFont& requestedFont() const { return m_requestedFont; }
  void setSizing(LabelSizing sizing);
  LabelSizing sizing() const { return m_sizing; }
  // Set before the label is first shown: screen readers keep what they met first.
  void setRole(LabelRole role);
  LabelRole role() const { return m_role; }
  void click() { emit clicked(); }

 signals:
  void clicked();
  void mousePressed(Qt::MouseButton button, QPoint pos);
  void mouseEntered();
  void mouseLeft();

 protected:
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void setPlainText(const QString& text);
  void applyPalette();
  void fitToCaption();
  QFont m_requestedFont;
  bool m_fitOnShow = false;
  QString m_caption;
  QColor m_fontColor = Qt::black;
  QColor m_hoverColor;
  QColor m_background;
  LabelSizing m_sizing = LabelSizing::Fixed;
  LabelRole m_role = LabelRole::Text;
  bool m_hovered = false;
};

// What a picture button is to screen readers: a button, or one of a row of tabs.
enum class ButtonRole { Push, Tab };

// A button drawn from four pictures: <base>_normal, _hover, _down, _disabled.
// It takes the focus from the keyboard and acts on Space and Enter; the
// arrow keys are left to the window.
class PictureButton : public QAbstractButton {
  Q_OBJECT
 public:
  explicit PictureButton(const QString& bitmapBase, QWidget* parent = nullptr);
  void setCaption(const QString& caption);
  const QString& caption() const { return m_caption; }
  // Set before the button is first shown: screen readers keep what they met first.
  void setRole(ButtonRole role) { m_role = role; }
  ButtonRole role() const { return m_role; }
  // A tab whose page is the one shown, for screen readers.
  void setOpen(bool open);
  bool isOpen() const { return m_open; }
  void setCaptionColor(const QColor& color) {
    m_captionColor = color;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QString m_base;
  QString m_caption;
  QColor m_captionColor = Qt::white;
  ButtonRole m_role = ButtonRole::Push;
  bool m_open = false;
  bool m_hover = false;
};

// A panel that shows a picture (stretched) and optionally a centred caption;
// without a picture it is transparent.
class PicturePanel : public QWidget {
  Q_OBJECT
 public:
  explicit PicturePanel(QWidget* parent = nullptr);
  void setPicture(const QPixmap& picture);
  // A skin bitmap, drawn from the set that matches the screen it is on.
  void setSkinBitmap(const QString& name);
  const QString& skinBitmap() const { return m_bitmapName; }
  QPixmap picture() const;
  // The tab marker stands over the active tab and shows that tab's focus.
  void setFocusMarkShown(bool shown);
  void setCaption(const QString& caption);
  const QString& caption() const { return m_caption; }
  void setCaptionColor(const QColor& color) {
    m_captionColor = color;
    update();
  }
  void setFill(const QColor& color) {
    m_fill = color;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QPixmap m_picture;
  QString m_bitmapName;
  QString m_caption;
  QColor m_captionColor = Qt::white;
  QColor m_fill;
  bool m_focusMarkShown = false;
};

// A framed box of the settings page: four corner bitmaps joined by lines.
class FramedBox : public QWidget {
  Q_OBJECT
 public:
  explicit FramedBox(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent*) override;
};

// A rectangle with a 1-pixel outline and a fill.
class SkinShape : public QWidget {
  Q_OBJECT
 public:
  SkinShape(const QColor& pen, const QColor& brush, QWidget* parent = nullptr);
  QColor penColor() const { return m_pen; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor m_pen;
  QColor m_brush;
};

// Check box. The user's toggle (a click, Space or Enter, or a screen
// reader's action) emits clicked; setting the state from code only draws it, so
// a window can show a controller's value without hearing back from itself.
class SkinCheckBox : public QWidget {
  Q_OBJECT
 public:
  explicit SkinCheckBox(QWidget* parent = nullptr);
  bool checked() const { return m_checked; }
  void setChecked(bool checked);
  // The user's toggle: the state flips and clicked is emitted.
  void click();
  void setCaption(const QString& caption);
  const QString& caption() const { return m_caption; }
  void setFontColor(const QColor& color);
  QColor fontColor() const { return m_fontColor; }

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool m_checked = false;
  QString m_caption;
  QColor m_fontColor = Qt::black;
};

// Radio button of a group: checking one unchecks the others. The user's
// choice of one that was not checked (a click, Space or Enter, an arrow key
// from its neighbour, or a screen reader's action) then emits clicked; setting
// the state from code only draws it.
class SkinRadioButton : public QWidget {
  Q_OBJECT
 public:
  explicit SkinRadioButton(QWidget* parent = nullptr);
  static void makeGroup(const QList<SkinRadioButton*>& group);
  bool checked() const { return m_checked; }
  void setChecked(bool checked);
  // The user's choice: checks this one and emits clicked, unless it was checked.
  void click();
  void setCaption(const QString& caption);
  const QString& caption() const { return m_caption; }
  void setFontColor(const QColor& color);
  QColor fontColor() const { return m_fontColor; }

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool moveInGroup(int step);
  bool m_checked = false;
  QString m_caption;
  QColor m_fontColor = Qt::black;
  QList<SkinRadioButton*> m_group;
};

// The settings page's list view: one column, whole-row single selection.
class SkinListView : public QListWidget {
  Q_OBJECT
 public:
  explicit SkinListView(QWidget* parent = nullptr);

 signals:
  // Delete was pressed in the list: the window removes the selected row.
  void deletePressed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
};
