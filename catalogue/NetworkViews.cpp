#include "catalogue/NetworkViews.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "catalogue/ThumbnailDownloads.h"
#include "download/PageFetcher.h"
#include "library/ListPageLoad.h"
#include "library/SlotDecoding.h"
#include "platform/IniFile.h"

namespace {

// A stored thumbnail this small is a broken download.
constexpr qint64 kBrokenThumbnailBytes = 100;

QString catalogueSection(Shape shape) {
  return QString::fromLatin1(shape == Shape::Widescreen ? kWidescreenSection : kNormalSection);
}

// A network category's page: the catalogue check, the page's thumbnails
// fetched where they are not yet stored, then shown.
class NetworkPageLoad : public PageLoad {
 public:
  NetworkPageLoad(const LanguageTexts& texts, const QString& dataFolder, CatalogueCheck& check,
                  const LowSpeedLimit& thumbnailProgress, std::shared_ptr<const EndpointMap> endpoints)
      : m_texts(texts),
        m_dataFolder(dataFolder),
        m_check(check),
        m_thumbnailProgress(thumbnailProgress),
        m_downloads(std::move(endpoints)) {}

  void start(const BrowseRequest& request, Deliver deliver) override {
    m_request = request;
    m_deliver = std::move(deliver);
    m_deliver([this](BrowseState& state) {
      state.busy = true;
      state.waitingText = m_texts.szConnecting;
    });
    connect(&m_check, &CatalogueCheck::finished, this, &NetworkPageLoad::checked);
    m_check.CheckCatalogueUpdate();
  }

 private:
  void checked(const CheckOutcome& outcome) {
    disconnect(&m_check, nullptr, this, nullptr);
    if (!outcome.writeFailure.isEmpty()) emit failed(outcome.writeFailure);
    if (!outcome.mayGoOn) {
      end([tip = outcome.errorTip](BrowseState& state) { state.errorTip = tip; });
      return;
    }
    Edit paging;
    m_page = pageOfListing(listing(), m_request.page, m_texts.szPicnofind, paging);
    m_deliver(paging);
    if (m_page.empty()) {
      end([](BrowseState&) {});
      return;
    }
    m_deliver([this](BrowseState& state) { state.waitingText = m_texts.szGetpreview; });
    QTimer::singleShot(0, this, &NetworkPageLoad::fetchThumbnails);
  }

  CategoryListing listing() const {
    const QStringList entries = networkCategoryEntries(m_dataFolder + QStringLiteral("setting.ini"),
                                                       m_request.shape, m_request.view.category);
    QStringList larges;
    for (const QString& entry : entries) larges << largeAddressOf(entry);
    return {entries, larges};
  }

  // The stored file of a slot's thumbnail; empty for an entry that names none
  // or a name that would leave the store.
  QString storedFile(const SlotFill& fill) const {
    if (!fill.paths.thumbnail.contains(QStringLiteral("/s_"))) return QString();
    return storedNetworkPath(m_dataFolder, m_request.shape, fill.paths.thumbnail, NetworkFile::Thumbnail);
  }

  void fetchThumbnails() {
    m_deliver([this](BrowseState& state) { state.waitingText = m_texts.szGetingpreview; });
    std::vector<ThumbnailFetch> fetches;
    for (const SlotFill& fill : m_page) {
      const QString file = storedFile(fill);
      if (!file.isEmpty() && !QFile::exists(file)) fetches.push_back({fill.paths.thumbnail, file});
    }
    connect(&m_downloads, &ThumbnailDownloads::finished, this, &NetworkPageLoad::showThumbnails);
    m_downloads.start(fetches, m_thumbnailProgress);
  }

  void showThumbnails() {
    std::vector<SlotFill> arrived;
    for (const SlotFill& fill : m_page) {
      const QString file = storedFile(fill);
      if (file.isEmpty() || !QFile::exists(file)) continue;
      if (QFileInfo(file).size() < kBrokenThumbnailBytes) {
        QFile::remove(file);
        continue;
      }
      const QString large =
          storedNetworkPath(m_dataFolder, m_request.shape, fill.paths.large, NetworkFile::LargePicture);
      arrived.push_back({fill.paths, file, large, UndecodableThumbnail::Remove});
    }
    if (arrived.empty()) {
      end([this](BrowseState& state) { state.errorTip = m_texts.szGetpicfail; });
      return;
    }
    decodeIntoSlots(
        this, std::move(arrived), m_request.thumbnailBox, [this](const Edit& showSlots) { end(showSlots); },
        m_request.decodeBudget);
  }

  // Whatever way the view ends, the window is usable again.
  void end(const Edit& last) {
    m_deliver([last](BrowseState& state) {
      last(state);
      state.waitingText.clear();
      state.busy = false;
    });
    emit finished();
  }

  const LanguageTexts& m_texts;
  const QString m_dataFolder;
  CatalogueCheck& m_check;
  LowSpeedLimit m_thumbnailProgress;
  BrowseRequest m_request;
  Deliver m_deliver;
  std::vector<SlotFill> m_page;
  ThumbnailDownloads m_downloads;
};

}  // namespace

NetworkViews::NetworkViews(const LanguageTexts& texts, const AppContext& context)
    : m_texts(texts),
      m_dataFolder(context.dataFolder),
      m_check(texts, context),
      m_endpoints(context.endpoints) {}

NetworkViews::~NetworkViews() = default;

std::unique_ptr<PageLoad> NetworkViews::makeLoad(const BrowseRequest& request) {
  if (request.view.kind == ViewKind::NetworkCategory)
    return std::make_unique<NetworkPageLoad>(m_texts, m_dataFolder, m_check, m_thumbnailProgress,
                                             m_endpoints);
  if (request.view.kind != ViewKind::Downloaded) return nullptr;
  const Shape shape = request.shape;
  // The stored paths are used as they are: lower-casing them would break
  // every path below a folder with a capital letter.
  return std::make_unique<ListPageLoad>(
      [shape, folder = m_dataFolder] {
        const QStringList pictures = listDownloadedPictures(folder, shape);
        return CategoryListing{pictures, pictures};
      },
      m_texts);
}

QStringList networkCategoryEntries(const QString& settingsFile, Shape shape, int category) {
  const IniBatch settings(settingsFile);  // one read of the file for all 1000 keys
  QStringList entries;
  for (int key = 1; key <= kCatalogueKeyCount; ++key) {
    const QString entry =
        asciiLower(settings.ReadIniText(catalogueSection(shape), QString::number(key), QString()));
    if (!entry.isEmpty() && addressInCategory(entry, category)) entries << entry;
  }
  return entries;
}
