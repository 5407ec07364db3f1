#include "library/ListPageLoad.h"

#include "library/SlotDecoding.h"

std::vector<SlotFill> pageOfListing(const CategoryListing& listing, int requestedPage,
                                    const QString& noPicturesText, PageLoad::Edit& edit) {
  const int count = int(listing.thumbnails.size());
  if (count == 0) {
    edit = [noPicturesText](BrowseState& state) {
      state.errorTip = noPicturesText;
      state.page = 1;
    };
    return {};
  }
  const PageSlice slice = sliceOfPage(count, requestedPage);
  edit = [slice, count](BrowseState& state) {
    state.pageLinks = qMin(pageCount(count), kPageLinkCount);
    if (slice.markPageOne) state.page = 1;
  };
  std::vector<SlotFill> fills;
  for (int entry = slice.first; entry < slice.first + slice.size; ++entry)
    fills.push_back({{listing.thumbnails[entry], listing.larges[entry]},
                     listing.thumbnails[entry],
                     listing.larges[entry]});
  return fills;
}

void ListPageLoad::start(const BrowseRequest& request, Deliver deliver) {
  PageLoad::Edit paging;
  std::vector<SlotFill> fills = pageOfListing(m_list(), request.page, m_texts.szPicnofind, paging);
  deliver(paging);
  if (fills.empty()) {
    emit finished();
    return;
  }
  decodeIntoSlots(
      this, std::move(fills), request.thumbnailBox,
      [this, deliver](const Edit& showSlots) {
        deliver(showSlots);
        emit finished();
      },
      request.decodeBudget);
}
