// The wallpaper pages' controller: it owns the browsing state, turns clicks
// into page loads, and lets only the newest load change what is shown.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "library/BrowseState.h"
#include "platform/LanguageTexts.h"

class DecodeBudget;

// What a load is asked for.
struct BrowseRequest {
  BrowseView view;
  int page = 1;  // the page asked for; a load falls back to 1 when the view is shorter
  Shape shape = Shape::Normal;
  QSize thumbnailBox;  // in device pixels, so a denser screen gets sharper thumbnails
  // What the page's decodes share with those of earlier pages still decoding.
  std::shared_ptr<DecodeBudget> decodeBudget;
};

// One page of one view being put together. It changes the shown state only
// through `edit`; destroying it drops whatever it had not yet delivered, and
// the controller destroys it as soon as a newer request supersedes it.
class PageLoad : public QObject {
  Q_OBJECT
 public:
  using Edit = std::function<void(BrowseState&)>;
  using Deliver = std::function<void(const Edit&)>;

  // Starts the load; it may deliver before returning. `finished` follows
  // once, when nothing more will be delivered.
  virtual void start(const BrowseRequest& request, Deliver deliver) = 0;

 signals:
  void finished();
  // Something the load had to store could not be: the window reports it.
  void failed(const QString& report);
};

using PageLoadFactory = std::function<std::unique_ptr<PageLoad>(const BrowseRequest&)>;

class BrowseController : public QObject {
  Q_OBJECT
 public:
  // Local categories are loaded here; the factory makes the loads of the
  // network categories and the Downloaded view.
  // The local categories are those of the store in dataFolder.
  BrowseController(const LanguageTexts& texts, const QString& dataFolder, PageLoadFactory otherViews,
                   QObject* parent = nullptr);
  ~BrowseController() override;

  const QString& dataFolder() const { return m_dataFolder; }

  const BrowseState& state() const { return m_state; }
  bool loading() const { return m_load != nullptr; }

  // The clicks. Each is ignored while a network view is at work; a click on
  // the view or page already shown reloads nothing.
  void openLocalCategory(int category);
  void openNetworkCategory(int category);
  void openDownloaded();
  void turnToPage(int page);
  // The two shape tabs always reload local category 1 at page 1.
  void selectTab(Tab tab);
  void selectSlot(int slot);
  // Lists a local category afresh at the page shown, when it is the one
  // shown: pictures came into its folder or left it.
  void reloadLocalCategory(int category);
  // Holds most clicks off while the window runs a download of its own.
  void setBusy(bool busy);
  // Device pixels a logical pixel on the window's screen; later loads decode
  // their thumbnails for it.
  void setDevicePixelRatio(qreal ratio);

  // The paths of the selected slot; none when no slot is selected.
  std::optional<SlotPaths> selectedPaths() const;

  // Whether a link would change the view when clicked (hover feedback).
  bool isCurrentView(const BrowseView& view) const { return m_state.view == view; }

 signals:
  void stateChanged();
  // A load has delivered all it will; tests and the window may wait for it.
  void loadFinished();
  // The current load could not store something; the text for the error report.
  void loadFailed(const QString& report);

 private:
  void open(const BrowseView& view, int page);
  BrowseRequest requestFor(const BrowseView& view, int page) const;
  void startLoad(const BrowseRequest& request);
  void endLoad();
  void retire(std::unique_ptr<PageLoad> load);
  void apply(const PageLoad::Edit& edit);

  const LanguageTexts& m_texts;
  const QString m_dataFolder;
  PageLoadFactory m_otherViews;
  class LocalListings;
  std::unique_ptr<LocalListings> m_listings;
  BrowseState m_state;
  std::unique_ptr<PageLoad> m_load;
  quint64 m_generation = 0;
  qreal m_devicePixelRatio = 1;
  std::shared_ptr<DecodeBudget> m_decodeBudget;
};
