// The user's own pictures: brought into a local category by --import, by
// dropping files on the window and through a category link's menu; and
// moved to the trash from the grid.
#include "app/Main.h"
#include "library/Settings.h"

ImportCommandTarget TfrmMain::importTarget() {
  return {m_context.dataFolder, categoryCaptions(m_texts),
          [this](const ImportReport& report) { takeImported(report); }};
}

void TfrmMain::takeImported(const ImportReport& report) {
  m_rotation.addRows(report.importedLargePictures(IsWideScreen() ? Shape::Widescreen : Shape::Normal));
  for (int category = 1; category <= kCategoryCount; ++category) m_browse->reloadLocalCategory(category);
}
