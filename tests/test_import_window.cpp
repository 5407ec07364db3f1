// The window's ways in and out of the store: files dropped on a local
// category link or on the grid, "Add pictures..." on a link's menu, and
// Delete or "Move to trash" on a selected slot.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/Main.h"
#include "support/MainControls.h"
#include "support/ProgramFolder.h"

namespace {
class ImportWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.copyEnglishLanguage();
    for (int i = 1; i <= 3; ++i) {
      const QString tail = QStringLiteral("mine%1.jpg").arg(i);
      folder.writePicture(QStringLiteral("wallpaper/normal/local/1/s_") + tail, QSize(8, 6), Qt::blue);
      folder.writePicture(QStringLiteral("wallpaper/normal/local/1/l_") + tail, QSize(16, 12), Qt::red);
    }
    window = makeMainWindowWith(dialogs.context(folder));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  // A photo of the normal shape outside the store.
  QString photo(const QString& name) {
    const QString path = sources.filePath(name);
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
  }

  // Whether the window took the drop.
  bool drop(QWidget* onto, const QStringList& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& file : files) urls << QUrl::fromLocalFile(file);
    data.setUrls(urls);
    const QPoint at = onto->mapTo(window.get(), onto->rect().center());
    // As a drag arrives: Qt hands the drop to the widget that took the drag in.
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    return drop.isAccepted();
  }

  QStringList stored(int category) const {
    return QDir(folder.file(QStringLiteral("wallpaper/normal/local/%1").arg(category)))
        .entryList({QStringLiteral("*_photo-*.jpg")}, QDir::Files, QDir::Name);
  }

  const BrowseState& state() const { return window->browse().state(); }

  ProgramFolder folder;
  QTemporaryDir sources;
  DialogsRecorder dialogs;
  std::unique_ptr<TfrmMain> window;
};
}  // namespace

TEST_F(ImportWindowTest, AFileDroppedOnACategoryLinkGoesIntoThatCategory) {
  EXPECT_TRUE(drop(ui(window).lblL[2], {photo(QStringLiteral("photo.png"))}));
  ASSERT_TRUE(waitUntil([&] { return stored(3).size() == 2; })) << stored(3).join(u' ').toStdString();
  EXPECT_TRUE(stored(3)[0].startsWith(QStringLiteral("l_photo-")));
  EXPECT_TRUE(stored(3)[1].startsWith(QStringLiteral("s_photo-")));
  EXPECT_TRUE(dialogs->messages.empty());
}

TEST_F(ImportWindowTest, AFileDroppedOnTheGridGoesIntoTheCategoryShownAndTheGridShowsIt) {
  ASSERT_EQ(state().view, (BrowseView{ViewKind::LocalCategory, 1}));
  ASSERT_EQ(state().shownSlots, 3);
  drop(ui(window).Panel1, {photo(QStringLiteral("photo.png"))});
  ASSERT_TRUE(waitUntil([&] { return state().shownSlots == 4; }));
  EXPECT_EQ(stored(1).size(), 2);
  // The rotation list takes the new large picture of the screen's shape.
  ASSERT_FALSE(window->rotation().rows().isEmpty());
  EXPECT_TRUE(window->rotation().rows().last().contains(QStringLiteral("/l_photo-")));
}

TEST_F(ImportWindowTest, ManyPicturesShowProgressAndCancelKeepsOnlyWholePairs) {
  QStringList files;
  for (int n = 0; n < 12; ++n) {
    QImage image(600, 400, QImage::Format_RGB32);
    image.fill(QColor(n * 20, 100, 200));
    files << sources.filePath(QStringLiteral("photo%1.png").arg(n));
    ASSERT_TRUE(image.save(files.last(), "PNG"));
  }
  window->importIntoCategory(4, files);
  ASSERT_TRUE(waitUntil([&] { return window->importProgress() != nullptr; }));
  EXPECT_EQ(window->importProgress()->maximum(), 12);
  window->importProgress()->cancel();
  ASSERT_TRUE(waitUntil([&] { return window->importProgress() == nullptr; }));
  const QStringList kept = stored(4);
  EXPECT_LE(kept.size(), 24);
  for (const QString& name : kept)
    EXPECT_TRUE(
        kept.contains((name.startsWith(u'l') ? QStringLiteral("s") : QStringLiteral("l")) + name.mid(1)))
        << name.toStdString() << " has no partner";
  EXPECT_TRUE(dialogs->messages.empty()) << "a cancel is no failure";
}

TEST_F(ImportWindowTest, ADropOnANetworkLinkImportsNothing) {
  EXPECT_FALSE(drop(ui(window).lblN[1], {photo(QStringLiteral("photo.png"))}));
  EXPECT_FALSE(drop(ui(window).btnSetWallpaper, {photo(QStringLiteral("photo.png"))}));
  for (int category = 1; category <= 5; ++category) EXPECT_TRUE(stored(category).isEmpty());
}

TEST_F(ImportWindowTest, AddPicturesOnALinksMenuImportsWhatTheDialogGives) {
  dialogs->picturesAnswer = {photo(QStringLiteral("photo.png")),
                             sources.filePath(QStringLiteral("gone.png"))};
  window->lblL1ContextMenu(ui(window).lblL[1], QPoint(2, 2));
  const QList<QMenu*> menus = window->findChildren<QMenu*>();
  ASSERT_FALSE(menus.isEmpty());
  QMenu* menu = menus.last();
  ASSERT_EQ(menu->actions().size(), 1);
  EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("Add pictures..."));
  menu->actions()[0]->trigger();
  menu->close();
  EXPECT_EQ(dialogs->lastCaption, QStringLiteral("Choose pictures or folders"));
  ASSERT_TRUE(waitUntil([&] { return !dialogs->messages.empty(); }));
  EXPECT_EQ(stored(2).size(), 2);
  // The file that is not there is named in the message, the other is not;
  // the reason comes from the language file.
  EXPECT_TRUE(dialogs->messages[0].text.contains(QStringLiteral("gone.png: no such file")));
  EXPECT_FALSE(dialogs->messages[0].text.contains(QStringLiteral("photo.png")));
}

TEST_F(ImportWindowTest, RefusalsAreToldInTheLanguageOfTheWindow) {
  folder.writeFile("lang.ini",
                   QByteArray("[init]\r\nszAttention=Achtung\r\nszImportrefused=Nicht importiert:\r\n"
                              "szImportnotpicture=kein Bild\r\n"));
  window = makeMainWindowWith(dialogs.context(folder));
  dialogs->messages.clear();
  const QString text = sources.filePath(QStringLiteral("notes.png"));
  QFile file(text);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("plain words");
  file.close();
  window->importIntoCategory(1, {text});
  ASSERT_TRUE(waitUntil([&] { return !dialogs->messages.empty(); }));
  EXPECT_EQ(dialogs->messages[0].caption, QStringLiteral("Achtung"));
  EXPECT_EQ(dialogs->messages[0].text,
            QStringLiteral("Nicht importiert:\n") + text + QStringLiteral(": kein Bild"));
}

TEST_F(ImportWindowTest, DeleteMovesTheSelectedPairToTheTrashAndThePageNoLongerShowsIt) {
  const QString large = folder.file(QStringLiteral("wallpaper/normal/local/1/l_mine2.jpg"));
  const QString thumbnail = folder.file(QStringLiteral("wallpaper/normal/local/1/s_mine2.jpg"));
  ASSERT_TRUE(window->rotation().addRow(large));
  window->imgW1Click(2);
  ASSERT_EQ(state().slotPaths[1].large.section(u'/', -1), QStringLiteral("l_mine2.jpg"));
  ui(window).imgW[1]->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
  ASSERT_TRUE(waitUntil([&] { return state().shownSlots == 2; }));
  EXPECT_FALSE(QFile::exists(large));
  EXPECT_FALSE(QFile::exists(thumbnail));
  for (const SlotPaths& paths : state().slotPaths)
    EXPECT_FALSE(paths.large.endsWith(QStringLiteral("l_mine2.jpg")));
  EXPECT_FALSE(window->rotation().rows().contains(large));
  // In the desktop's trash, where the file manager restores them from.
  const QString trash =
      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash/files/");
  EXPECT_TRUE(QFile::exists(trash + QStringLiteral("l_mine2.jpg"))) << trash.toStdString();
  EXPECT_TRUE(QFile::exists(trash + QStringLiteral("s_mine2.jpg")));
}

TEST_F(ImportWindowTest, TheMenuKeyOpensALinksMenuAndASlotsMenu) {
  const auto menuKey = [&](QWidget* on) {
    on->setFocus();
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(4, 4), on->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(on, &event);
    const QList<QMenu*> menus = window->findChildren<QMenu*>();
    const QString last = menus.isEmpty() || menus.last()->actions().isEmpty()
                             ? QString()
                             : menus.last()->actions().constLast()->text();
    if (!menus.isEmpty()) menus.last()->close();
    return last;
  };
  EXPECT_EQ(menuKey(ui(window).lblL[3]), QStringLiteral("Add pictures..."));
  EXPECT_EQ(menuKey(ui(window).imgW[0]), QStringLiteral("Move to trash"));
  EXPECT_EQ(state().selectedSlot, 0) << "the slot whose menu opened is selected";
}

TEST_F(ImportWindowTest, TheSlotMenuOffersMoveToTrashOnlyInALocalCategory) {
  const auto trashItem = [](const QMenu& menu) -> QAction* {
    for (QAction* item : menu.actions())
      if (item->text() == QStringLiteral("Move to trash")) return item;
    return nullptr;
  };
  QMenu menu;
  window->fillSlotMenu(menu, 1);
  ASSERT_NE(trashItem(menu), nullptr);
  EXPECT_EQ(menu.actions().constLast(), trashItem(menu)) << "the way out comes last";
  trashItem(menu)->trigger();
  ASSERT_TRUE(waitUntil([&] { return state().shownSlots == 2; }));
  QMenu empty;
  window->fillSlotMenu(empty, 5);
  EXPECT_EQ(trashItem(empty), nullptr) << "slot 5 shows nothing";
}
