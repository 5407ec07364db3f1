// A view whose pictures are files at hand: a local category, or the
// pictures downloaded so far.
#pragma once

#include <functional>

#include "library/BrowseController.h"
#include "library/StoreRules.h"

class ListPageLoad : public PageLoad {
  Q_OBJECT
 public:
  using Lister = std::function<CategoryListing()>;
  ListPageLoad(Lister list, const LanguageTexts& texts) : m_list(std::move(list)), m_texts(texts) {}

  void start(const BrowseRequest& request, Deliver deliver) override;

 private:
  Lister m_list;
  const LanguageTexts& m_texts;
};

// The paging rule over a listing, as an edit: page links shown, the fall-back
// to page 1, or the "no pictures" tip. Returns the slots the page shows.
std::vector<struct SlotFill> pageOfListing(const CategoryListing& listing, int requestedPage,
                                           const QString& noPicturesText, PageLoad::Edit& edit);
