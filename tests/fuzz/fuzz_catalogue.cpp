// The catalogue pages of any bytes: the markers, the two version values and
// the index parse. No entry that would be stored names a file outside its
// category folder.
#include <QDir>

#include "FuzzCheck.h"
#include "catalogue/CatalogueRules.h"
#include "library/StoreRules.h"
#include "platform/TextCodec.h"

namespace {

// A version value is the text right after its opener, without its closer.
void checkVersionValue(const QByteArray& page, const QByteArray& value, const char* opener, char closer) {
  if (value.isEmpty()) return;
  require(value.size() >= 2, "a version value has two characters at least");
  require(!value.contains(closer), "a version value holds no closer");
  require(page.contains(opener + value + closer), "a version value stands after its opener");
}

void checkStoredPath(const QString& address) {
  for (const Shape shape : {Shape::Normal, Shape::Widescreen}) {
    for (const NetworkFile kind : {NetworkFile::Thumbnail, NetworkFile::LargePicture}) {
      const QString stored =
          storedNetworkPath(QStringLiteral("/data/"), shape,
                            kind == NetworkFile::Thumbnail ? address : largeAddressOf(address), kind);
      if (stored.isEmpty()) continue;
      const QString folder = sideFolder(QStringLiteral("/data/"), shape, StoreSide::Network);
      require(stored.startsWith(folder), "a stored file lies in the network folder");
      const QString inside = stored.mid(folder.size());
      const QStringList parts = inside.split(u'/');
      require(parts.size() == 2, "a stored file lies in a category folder, not below it");
      require(parts[0].size() == 1 && parts[0][0] >= u'1' && parts[0][0] <= u'5', "the category is 1 to 5");
      require(parts[1] != u"." && parts[1] != u".." && !parts[1].isEmpty(), "a stored file has a name");
      require(QDir::cleanPath(stored) == stored, "a stored path names itself");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QByteArray page = pageTextOf(bytes);
  require(!page.contains('\0'), "a page's text stops at a zero byte");
  hasPageMarkers(page);
  checkVersionValue(page, softwareVersionOf(page), "(softver=", ')');
  checkVersionValue(page, indexVersionOf(page), "[indexver=", ']');
  const CatalogueEntries entries = parseIndexPage(indexTextOf(page));
  for (const QList<QByteArray>* block : {&entries.normal, &entries.widescreen}) {
    for (const QByteArray& entry : *block) {
      require(!entry.contains('\n') && !entry.contains('\r'), "an entry is one line");
      const QString address = decodeText(entry);
      checkStoredPath(address);
      // The settings file gives the address back trimmed.
      checkStoredPath(address.trimmed());
    }
  }
  return 0;
}
