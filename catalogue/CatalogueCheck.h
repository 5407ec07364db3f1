// The daily catalogue check's parts that tests and the window share.
#pragma once

#include <QString>

#include "catalogue/CatalogueRules.h"

class PageFetcher;
class TfrmMain;

// The window's page fetcher, made and wired to its two download handlers on
// first use.
PageFetcher& WindowPageFetcher(TfrmMain& window);

// Replaces keys 1 to 1000 of both catalogue sections of the INI file by the
// entries (at most 1000 a shape) and stores indexVersion, in one atomic
// replacement of the file.
void StoreCatalogue(const QString& iniFile, const CatalogueEntries& entries, const QString& indexVersion);
