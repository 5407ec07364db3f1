#include "library/BrowseController.h"

#include <QHash>
#include <QtMath>
#include <optional>

#include "library/GridLayout.h"
#include "library/ListPageLoad.h"
#include "library/SlotDecoding.h"
#include "platform/FolderStamp.h"

QSize BrowseState::thumbnailBox() const { return gridOf(gridShape).imageSize; }

void BrowseState::clearGrid() {
  pageLinks = 0;
  shownSlots = 0;
  slotPaths.fill(SlotPaths{});
  pictures.fill(QImage());
  selectedSlot.reset();
  errorTip.clear();
  waitingText.clear();
}

// A category of thousands of pictures costs more to list than the six
// decodes of a page, and a page turn lists it again: the listing is kept for
// as long as the folder's stamp says its entries cannot have changed.
class BrowseController::LocalListings {
 public:
  CategoryListing of(const QString& folder) {
    // Read before the entries: a change made while they are read shows in the next stamp.
    const std::optional<FolderStampReading> now = readFolderStamp(folder);
    const auto found = m_cache.constFind(folder);
    if (now && found != m_cache.cend() && found->stamp == now->stamp) return found->listing;
    CategoryListing listing = listLocalCategory(folder);
    if (now && now->trust == StampTrust::Reliable) {
      if (m_cache.size() > 16) m_cache.clear();
      m_cache.insert(folder, Entry{now->stamp, listing});
    } else {
      m_cache.remove(folder);
    }
    return listing;
  }

 private:
  struct Entry {
    FolderStamp stamp;
    CategoryListing listing;
  };
  QHash<QString, Entry> m_cache;  // at most the ten local category folders
};

BrowseController::BrowseController(const LanguageTexts& texts, const QString& dataFolder,
                                   PageLoadFactory otherViews, QObject* parent)
    : QObject(parent),
      m_texts(texts),
      m_dataFolder(dataFolder),
      m_otherViews(std::move(otherViews)),
      m_listings(std::make_unique<LocalListings>()),
      m_decodeBudget(std::make_shared<DecodeBudget>(kSlotDecodeBudgetBytes)) {}

BrowseController::~BrowseController() = default;

void BrowseController::openLocalCategory(int category) {
  open({ViewKind::LocalCategory, categoryOfLink(category)}, 1);
}

void BrowseController::openNetworkCategory(int category) {
  open({ViewKind::NetworkCategory, categoryOfLink(category)}, 1);
}

void BrowseController::openDownloaded() { open({ViewKind::Downloaded, 0}, 1); }

void BrowseController::open(const BrowseView& view, int page) {
  if (m_state.busy || m_state.view == view) return;
  m_state.page = page;
  startLoad(requestFor(view, page));
}

BrowseRequest BrowseController::requestFor(const BrowseView& view, int page) const {
  const QSize box = m_state.thumbnailBox();
  const QSize deviceBox(qCeil(box.width() * m_devicePixelRatio), qCeil(box.height() * m_devicePixelRatio));
  return {view, page, m_state.shape(), deviceBox, m_decodeBudget};
}

void BrowseController::setDevicePixelRatio(qreal ratio) {
  if (ratio > 0) m_devicePixelRatio = ratio;
}

void BrowseController::reloadLocalCategory(int category) {
  if (m_state.busy || m_state.view != BrowseView{ViewKind::LocalCategory, category}) return;
  startLoad(requestFor(m_state.view, m_state.page));
}

void BrowseController::turnToPage(int page) {
  if (m_state.busy || page == m_state.page || page < 1 || page > kPageLinkCount) return;
  m_state.page = page;
  if (m_state.view.kind == ViewKind::None) {
    emit stateChanged();
    return;
  }
  startLoad(requestFor(m_state.view, page));
}

void BrowseController::selectTab(Tab tab) {
  if (m_state.busy) return;
  m_state.tab = tab;
  if (tab == Tab::Setting) {
    emit stateChanged();
    return;
  }
  m_state.gridShape = m_state.shape();
  m_state.page = 1;
  startLoad(requestFor({ViewKind::LocalCategory, 1}, 1));
}

void BrowseController::selectSlot(int slot) {
  if (slot < 0 || slot >= m_state.shownSlots) return;
  m_state.selectedSlot = slot;
  emit stateChanged();
}

void BrowseController::setBusy(bool busy) {
  m_state.busy = busy;
  emit stateChanged();
}

std::optional<SlotPaths> BrowseController::selectedPaths() const {
  if (!m_state.selectedSlot) return std::nullopt;
  return m_state.slotPaths[size_t(*m_state.selectedSlot)];
}

void BrowseController::startLoad(const BrowseRequest& request) {
  // The load this one supersedes may be inside a callback of its own; it
  // goes once that has returned, and whatever it still sends is dropped.
  if (m_load) {
    m_load->disconnect(this);
    retire(std::move(m_load));
  }
  const quint64 generation = ++m_generation;
  m_state.view = request.view;
  m_state.clearGrid();
  emit stateChanged();
  if (request.view.kind == ViewKind::LocalCategory) {
    const QString folder =
        categoryFolder(m_dataFolder, request.shape, StoreSide::Local, request.view.category);
    m_load = std::make_unique<ListPageLoad>([this, folder] { return m_listings->of(folder); }, m_texts);
  } else if (m_otherViews) {
    m_load = m_otherViews(request);
  }
  if (!m_load) return;
  connect(m_load.get(), &PageLoad::finished, this, [this, generation] {
    if (generation == m_generation) endLoad();
  });
  connect(m_load.get(), &PageLoad::failed, this, [this, generation](const QString& report) {
    if (generation == m_generation) emit loadFailed(report);
  });
  m_load->start(request, [this, generation](const PageLoad::Edit& edit) {
    if (generation == m_generation) apply(edit);
  });
}

void BrowseController::endLoad() {
  if (m_load) retire(std::move(m_load));
  emit loadFinished();
}

// A load that has ended or been superseded may still be inside a callback of
// its own, so it goes later; as a child of the controller it never outlives
// it, and so never delivers to a controller that is gone.
void BrowseController::retire(std::unique_ptr<PageLoad> load) {
  PageLoad* retired = load.release();
  retired->setParent(this);
  retired->deleteLater();
}

void BrowseController::apply(const PageLoad::Edit& edit) {
  edit(m_state);
  emit stateChanged();
}
