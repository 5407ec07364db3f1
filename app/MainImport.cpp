// The user's own pictures: brought into a local category by --import, by
// dropping files on the window and through a category link's menu; and
// moved to the trash from the grid.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFutureWatcher>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QUrl>
#include <QtConcurrent>

#include "app/Main.h"
#include "library/Settings.h"
#include "platform/FileTrash.h"
#include "platform/UserDialogs.h"

namespace {
// Up to this many pictures an import ends before a progress dialog would be read.
constexpr int kFewPictures = 5;

// The local files a drag carries; none when it carries anything else.
QStringList localPathsOf(const QMimeData* data) {
  QStringList paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return {};
    paths << url.toLocalFile();
  }
  return paths;
}

// Why a file was refused, in the user's language; the library or plugin a
// decoder needs keeps its name.
QString refusalText(const ImportedFile& file, const LanguageTexts& texts) {
  switch (file.refusal) {
    case ImportRefusal::Missing:
      return texts.szImportmissing;
    case ImportRefusal::NotAFile:
      return texts.szImportnotfile;
    case ImportRefusal::Unreadable:
      return texts.szImportunreadable;
    case ImportRefusal::TooLarge:
      return texts.szImporttoolarge;
    case ImportRefusal::NotAPicture:
      return texts.szImportnotpicture;
    case ImportRefusal::Damaged:
      return texts.szImportdamaged;
    case ImportRefusal::Bomb:
      return texts.szImportbomb;
    case ImportRefusal::DecoderMissing:
      return texts.szImportnodecoder + QLatin1Char(' ') + file.reason;
    case ImportRefusal::CannotWrite:
      return texts.szImportcannotwrite;
    case ImportRefusal::None:
      break;
  }
  return file.reason;
}

QStringList refusalLines(const ImportReport& report, const LanguageTexts& texts) {
  QStringList lines;
  for (const ImportedFile& file : report.files)
    if (file.outcome == ImportOutcome::Refused)
      lines << file.source + QStringLiteral(": ") + refusalText(file, texts);
  return lines;
}

struct TrashOutcome {
  bool moved = true;
};

// The thumbnail goes first, so that the grid never lists a picture whose
// large picture is already gone.
TrashOutcome moveToTrash(const SlotPaths& paths) {
  TrashOutcome outcome;
  for (const QString& file : {paths.thumbnail, paths.large})
    if (QFile::exists(file) && !moveFileToTrash(file)) outcome.moved = false;
  return outcome;
}
}  // namespace

void TfrmMain::connectImport() {
  setAcceptDrops(true);
  for (SkinLabel* link : lblL) {
    link->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(link, &QWidget::customContextMenuRequested, this,
            [this, link](QPoint pos) { lblL1ContextMenu(link, pos); });
  }
}

ImportCommandTarget TfrmMain::importTarget() {
  return {m_context.dataFolder, categoryCaptions(m_texts),
          [this](const ImportReport& report) { takeImported(report); }};
}

void TfrmMain::takeImported(const ImportReport& report) {
  m_rotation.addRows(report.importedLargePictures(IsWideScreen() ? Shape::Widescreen : Shape::Normal));
  for (int category = 1; category <= kCategoryCount; ++category) m_browse->reloadLocalCategory(category);
}

// --- the window's ways in

void TfrmMain::importIntoCategory(int category, const QStringList& paths) {
  if (paths.isEmpty()) return;
  auto* job = new PictureImportJob({m_context.dataFolder, category, paths}, this);
  connect(job, &PictureImportJob::progressed, this,
          [this, job](int done, int total) { showImportProgress(job, done, total); });
  connect(job, &PictureImportJob::finished, this,
          [this, job](const ImportReport& report) { endImport(job, report); });
  job->start();
}

QProgressDialog* TfrmMain::importProgress() const { return m_importProgress; }

void TfrmMain::showImportProgress(PictureImportJob* job, int done, int total) {
  if (total <= kFewPictures || done >= total) return;
  if (!m_importProgress) {
    m_importProgress = new QProgressDialog(m_texts.szImporting, m_texts.szCancel.trimmed(), 0, total, this);
    m_importProgress->setWindowTitle(m_texts.szAppname);
    m_importProgress->setMinimumDuration(0);
    connect(m_importProgress, &QProgressDialog::canceled, job, &PictureImportJob::cancel);
    m_importProgress->show();
  }
  m_importProgress->setLabelText(QStringLiteral("%1 %2 / %3").arg(m_texts.szImporting).arg(done).arg(total));
  m_importProgress->setValue(done);
}

void TfrmMain::endImport(PictureImportJob* job, const ImportReport& report) {
  job->deleteLater();
  if (m_importProgress) m_importProgress->deleteLater();
  takeImported(report);
  const QStringList refused = refusalLines(report, m_texts);
  if (!refused.isEmpty())
    m_context.dialogs->information(
        m_texts.szAttention, m_texts.szImportrefused + QLatin1Char('\n') + refused.join(QLatin1Char('\n')));
}

int TfrmMain::dropCategoryAt(QPoint pos) const {
  const BrowseState& state = m_browse->state();
  if (state.tab == Tab::Setting || state.busy) return 0;
  for (int k = 0; k < kCategoryCount; ++k) {
    const SkinLabel* link = lblL[size_t(k)];
    if (QRect(link->mapTo(this, QPoint(0, 0)), link->size()).contains(pos)) return k + 1;
  }
  const bool onGrid = QRect(Panel1->mapTo(this, QPoint(0, 0)), Panel1->size()).contains(pos);
  if (onGrid && state.view.kind == ViewKind::LocalCategory) return state.view.category;
  return 0;
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (!localPathsOf(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TfrmMain::dragMoveEvent(QDragMoveEvent* event) {
  if (dropCategoryAt(event->position().toPoint()) != 0 && !localPathsOf(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TfrmMain::dropEvent(QDropEvent* event) {
  const int category = dropCategoryAt(event->position().toPoint());
  const QStringList paths = localPathsOf(event->mimeData());
  if (category == 0 || paths.isEmpty()) return event->ignore();
  event->acceptProposedAction();
  importIntoCategory(category, paths);
}

void TfrmMain::lblL1ContextMenu(SkinLabel* link, QPoint pos) {
  const qsizetype index = std::find(lblL.begin(), lblL.end(), link) - lblL.begin();
  if (index >= kCategoryCount || m_browse->state().busy) return;
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->addAction(m_texts.szAddpictures, this, [this, index] { addPicturesClick(int(index) + 1); });
  menu->popup(link->mapToGlobal(pos));
}

void TfrmMain::addPicturesClick(int category) {
  importIntoCategory(category, m_context.dialogs->openPicturesAndFolders(m_texts.szChoosepictures));
}

// --- the way out

void TfrmMain::moveSlotToTrash(int slot) {
  const BrowseState& state = m_browse->state();
  if (state.busy || state.view.kind != ViewKind::LocalCategory || slot < 1 || slot > state.shownSlots) return;
  const int category = state.view.category;
  const SlotPaths paths = state.slotPaths[size_t(slot - 1)];
  auto* watcher = new QFutureWatcher<TrashOutcome>(this);
  connect(watcher, &QFutureWatcher<TrashOutcome>::finished, this, [this, watcher, category] {
    watcher->deleteLater();
    m_rotation.dropMissingRows();
    m_browse->reloadLocalCategory(category);
    if (!watcher->result().moved) m_context.dialogs->information(m_texts.szAttention, m_texts.szTrashfailed);
  });
  watcher->setFuture(QtConcurrent::run(moveToTrash, paths));
}
