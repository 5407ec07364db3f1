#include "skin/SkinAccessibility.h"

#include <QAccessibleWidget>

#include "skin/SkinControls.h"

namespace {

// The caption a control shows; pictures show none.
QString CaptionOf(const QAbstractButton* button) { return button->text(); }
QString CaptionOf(const QLabel* label) { return label->text(); }
QString CaptionOf(const QWidget*) { return QString(); }

// A control that acts on a click: a screen reader's press acts as the click
// does, and a control without a name of its own is named by its caption.
template <typename Control>
class PressableAccessible : public QAccessibleWidget {
 public:
  PressableAccessible(Control* control, QAccessible::Role role) : QAccessibleWidget(control, role) {}
  QString text(QAccessible::Text kind) const override {
    const QString caption = CaptionOf(control());
    if (kind == QAccessible::Name && widget()->accessibleName().isEmpty() && !caption.isEmpty())
      return caption;
    return QAccessibleWidget::text(kind);
  }
  QStringList actionNames() const override {
    return QStringList(pressAction()) << QAccessibleWidget::actionNames();
  }
  void doAction(const QString& action) override {
    if (action == pressAction())
      control()->click();
    else
      QAccessibleWidget::doAction(action);
  }

 protected:
  Control* control() const { return static_cast<Control*>(widget()); }
};

// A tab of a row: selectable, marked when its page is the one shown.
class TabAccessible : public PressableAccessible<PictureButton> {
 public:
  explicit TabAccessible(PictureButton* tab) : PressableAccessible(tab, QAccessible::PageTab) {}
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.selectable = true;
    state.selected = control()->isOpen();
    return state;
  }
};

// The check box and the radio buttons: their caption, and whether they are ticked.
template <typename Toggle>
class ToggleAccessible : public QAccessibleWidget {
 public:
  ToggleAccessible(Toggle* toggle, QAccessible::Role role) : QAccessibleWidget(toggle, role) {}
  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
      return captionDisplayText(toggle()->caption());
    return QAccessibleWidget::text(kind);
  }
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.checkable = true;
    state.checked = toggle()->checked();
    return state;
  }
  QStringList actionNames() const override {
    return QStringList(QAccessibleActionInterface::toggleAction()) << QAccessibleWidget::actionNames();
  }
  void doAction(const QString& action) override {
    if (action != QAccessibleActionInterface::toggleAction()) {
      QAccessibleWidget::doAction(action);
      return;
    }
    toggle()->click();
  }

 private:
  Toggle* toggle() const { return static_cast<Toggle*>(widget()); }
};

// The grid: a list whose items are its slots, whatever panels hold them.
class GridAccessible : public QAccessibleWidget {
 public:
  explicit GridAccessible(PictureGrid* grid) : QAccessibleWidget(grid, QAccessible::List) {}
  int childCount() const override { return int(grid()->items().size()); }
  QAccessibleInterface* child(int index) const override {
    const QList<SkinImage*>& items = grid()->items();
    if (index < 0 || index >= items.size()) return nullptr;
    return QAccessible::queryAccessibleInterface(items[index]);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (child == nullptr) return -1;
    return int(grid()->items().indexOf(qobject_cast<SkinImage*>(child->object())));
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    for (int index = 0; index < childCount(); ++index) {
      QAccessibleInterface* item = child(index);
      if (item != nullptr && !item->state().invisible && item->rect().contains(x, y)) return item;
    }
    return nullptr;
  }

 private:
  PictureGrid* grid() const { return static_cast<PictureGrid*>(widget()); }
};

PictureGrid* gridOfItem(SkinImage* image) {
  for (QWidget* above = image->parentWidget(); above != nullptr; above = above->parentWidget()) {
    auto* grid = qobject_cast<PictureGrid*>(above);
    if (grid != nullptr && grid->items().contains(image)) return grid;
  }
  return nullptr;
}

// A slot of the grid: named after its picture, selectable, marked when selected.
class GridItemAccessible : public PressableAccessible<SkinImage> {
 public:
  GridItemAccessible(SkinImage* image, PictureGrid* grid)
      : PressableAccessible(image, QAccessible::ListItem), m_grid(grid) {}
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_grid); }
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.selectable = true;
    state.selected = control()->isSelected();
    return state;
  }

 private:
  PictureGrid* m_grid;
};

QAccessibleInterface* skinAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("SkinLabel")) {
    auto* label = static_cast<SkinLabel*>(object);
    return label->role() == LabelRole::Link ? new PressableAccessible<SkinLabel>(label, QAccessible::Link)
                                            : nullptr;
  }
  if (className == QLatin1String("PictureButton")) {
    auto* button = static_cast<PictureButton*>(object);
    return button->role() == ButtonRole::Tab ? new TabAccessible(button) : nullptr;
  }
  if (className == QLatin1String("SkinCheckBox"))
    return new ToggleAccessible<SkinCheckBox>(static_cast<SkinCheckBox*>(object), QAccessible::CheckBox);
  if (className == QLatin1String("SkinRadioButton"))
    return new ToggleAccessible<SkinRadioButton>(static_cast<SkinRadioButton*>(object),
                                                 QAccessible::RadioButton);
  if (className == QLatin1String("PictureGrid")) return new GridAccessible(static_cast<PictureGrid*>(object));
  if (className == QLatin1String("SkinImage")) {
    auto* image = static_cast<SkinImage*>(object);
    if (PictureGrid* grid = gridOfItem(image)) return new GridItemAccessible(image, grid);
  }
  return nullptr;
}

}  // namespace

void installSkinAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(skinAccessibleFactory);
    return true;
  }();
  Q_UNUSED(installed);
}
