// Publishing a folder of pictures as a home site:
//   SOURCE/<category>/[sub-folders/]picture.{jpg,jpeg,png,bmp}
// becomes, in SITE, the catalogue pages software/ver.htm and
// software/allindex.htm, the thumbnails and large pictures they name under
// pictures/, and a front page index.html. SITE can then be served by any web
// server at the base address the index names.
//
// Publishing again updates SITE in place: only new or changed pictures are
// processed, and those gone from SOURCE leave SITE. The state of the last
// publish is kept in SITE/.nimbra-catalogue.json. New files are made in a
// hidden folder inside SITE (SiteStaging.h) and renamed into their places
// together once all are made, pictures before the pages that name them, and
// nothing the old pages name is touched before the new pages are in place,
// so a reader never meets a half-written file and a run that fails leaves
// the old site as it was.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace publish {

struct PublishOptions {
  QString source;
  QString site;
  QString baseUrl;  // as siteBaseUrl (PublishRules.h) gives it: ends with "/"
  int jobs = 0;     // threads making pictures; 0 for one a core
  QString title = QStringLiteral("Wallpaper catalogue");
};

// Both are called on the calling thread, or under a lock, one call at a time.
struct PublishSinks {
  std::function<void(const QString& line)> note;      // files passed over, warnings
  std::function<void(int done, int total)> progress;  // pictures made so far
};

struct PublishResult {
  bool ok = false;
  QString error;       // why the run failed; SITE is as it was before it
  int pictures = 0;    // in the index
  int processed = 0;   // pictures whose thumbnail and large picture were made
  int removed = 0;     // pictures that left the site
  int passedOver = 0;  // files of SOURCE left out, each with a note
  QByteArray indexVersion;
  bool indexChanged = false;
};

PublishResult publishCatalogue(const PublishOptions& options, const PublishSinks& sinks = {});

// Calls work(0) ... work(count - 1) on up to `jobs` threads (0: one a core)
// and returns when all have returned.
void forEachInParallel(int count, int jobs, const std::function<void(int)>& work);

inline constexpr char kStateFileName[] = ".nimbra-catalogue.json";

}  // namespace publish
