// The views of the online catalogue: the five network categories, whose
// thumbnails come from the home site, and the pictures downloaded so far.
#pragma once

#include <memory>

#include "catalogue/CatalogueCheck.h"
#include "download/DownloadRules.h"
#include "library/BrowseController.h"

class EndpointMap;

class NetworkViews {
 public:
  // The context gives the data folder, the clock and home host of the
  // catalogue check, and where the tests' host names really go.
  NetworkViews(const LanguageTexts& texts, const AppContext& context);
  ~NetworkViews();

  // The load of a network category or the Downloaded view; none for another view.
  std::unique_ptr<PageLoad> makeLoad(const BrowseRequest& request);

  CatalogueCheck& catalogueCheck() { return m_check; }
  // A view cancels the thumbnails still running only when all of them
  // together fall below this rule; each download is bounded on its own as well.
  void setThumbnailProgressRule(const LowSpeedLimit& rule) { m_thumbnailProgress = rule; }

 private:
  const LanguageTexts& m_texts;
  const QString m_dataFolder;
  CatalogueCheck m_check;
  LowSpeedLimit m_thumbnailProgress;
  std::shared_ptr<const EndpointMap> m_endpoints;
};

// A network category's catalogue entries for a shape, in catalogue order:
// keys 1 to 1000 of the shape's section, lower-cased, those of the category.
QStringList networkCategoryEntries(const QString& settingsFile, Shape shape, int category);
