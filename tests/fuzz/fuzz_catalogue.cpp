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
void CheckVersionValue(const QByteArray& page, const QByteArray& value, const char* opener, char closer) {
  if (value.isEmpty()) return;
  Require(value.size() >= 2, "a version value has two characters at least");
  Require(!value.contains(closer), "a version value holds no closer");
  Require(page.contains(opener + value + closer), "a version value stands after its opener");
}

void CheckStoredPath(const QString& address) {
  for (const Shape shape : {Shape::Normal, Shape::Widescreen}) {
    for (const NetworkFile kind : {NetworkFile::Thumbnail, NetworkFile::LargePicture}) {
      const QString stored =
          StoredNetworkPath(QStringLiteral("/data/"), shape,
                            kind == NetworkFile::Thumbnail ? address : LargeAddressOf(address), kind);
      if (stored.isEmpty()) continue;
      const QString folder = SideFolder(QStringLiteral("/data/"), shape, StoreSide::Network);
      Require(stored.startsWith(folder), "a stored file lies in the network folder");
      const QString inside = stored.mid(folder.size());
      const QStringList parts = inside.split(u'/');
      Require(parts.size() == 2, "a stored file lies in a category folder, not below it");
      Require(parts[0].size() == 1 && parts[0][0] >= u'1' && parts[0][0] <= u'5', "the category is 1 to 5");
      Require(parts[1] != u"." && parts[1] != u".." && !parts[1].isEmpty(), "a stored file has a name");
      Require(QDir::cleanPath(stored) == stored, "a stored path names itself");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QByteArray page = PageTextOf(bytes);
  Require(!page.contains('\0'), "a page's text stops at a zero byte");
  HasPageMarkers(page);
  CheckVersionValue(page, SoftwareVersionOf(page), "(softver=", ')');
  CheckVersionValue(page, IndexVersionOf(page), "[indexver=", ']');
  const CatalogueEntries entries = ParseIndexPage(IndexTextOf(page));
  for (const QList<QByteArray>* block : {&entries.normal, &entries.widescreen}) {
    for (const QByteArray& entry : *block) {
      Require(!entry.contains('\n') && !entry.contains('\r'), "an entry is one line");
      const QString address = DecodeText(entry);
      CheckStoredPath(address);
      // The settings file gives the address back trimmed.
      CheckStoredPath(address.trimmed());
    }
  }
  return 0;
}
