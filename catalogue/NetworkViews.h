// The views of the online catalogue: the five network categories, whose
// thumbnails come from the home site, and the pictures downloaded so far.
#pragma once

#include <chrono>
#include <memory>

#include "catalogue/CatalogueCheck.h"
#include "library/BrowseController.h"

class NetworkViews {
 public:
  explicit NetworkViews(const LanguageTexts& texts);
  ~NetworkViews();

  // The load of a network category or the Downloaded view; none for another view.
  std::unique_ptr<PageLoad> makeLoad(const BrowseRequest& request);

  CatalogueCheck& catalogueCheck() { return m_check; }
  // How long a view waits for its thumbnails before it cancels those still
  // running; each download is bounded on its own as well.
  void setThumbnailWaitLimit(std::chrono::milliseconds limit) { m_thumbnailWait = limit; }

 private:
  const LanguageTexts& m_texts;
  CatalogueCheck m_check;
  std::chrono::milliseconds m_thumbnailWait{30000};
};

// A network category's catalogue entries for a shape, in catalogue order:
// keys 1 to 1000 of the shape's section, lower-cased, those of the category.
QStringList NetworkCategoryEntries(const QString& settingsFile, Shape shape, int category);
