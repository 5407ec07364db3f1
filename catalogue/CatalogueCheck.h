// The daily catalogue check: the version page, the index page and the
// catalogue sections of "setting.ini". It runs on the event loop: the pages
// arrive through the page fetcher's events, and `finished` tells the outcome.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "catalogue/CatalogueRules.h"
#include "platform/AppContext.h"
#include "platform/Clock.h"
#include "platform/LanguageTexts.h"

class PageFetcher;

// Whether a network view may go on, and the tip to show when it may not.
struct CheckOutcome {
  bool mayGoOn = false;
  QString errorTip;  // empty: no tip
  // A catalogue or date that could not be stored: the error report's text.
  QString writeFailure;
};

class CatalogueCheck : public QObject {
  Q_OBJECT
 public:
  // The program's own version, compared with the one the site publishes.
  static inline const QString ProgramVersion = QStringLiteral("1.0");

  // The context's clock says which day it is (the site is asked once a day),
  // its home host which site, and its data folder holds "setting.ini".
  CatalogueCheck(const LanguageTexts& texts, const AppContext& context, QObject* parent = nullptr);
  ~CatalogueCheck() override;

  // Starts the check; `finished` follows once, possibly before this returns.
  // The check date is stored whatever the outcome, so a site that is down
  // is asked again only the next day.
  void CheckCatalogueUpdate();
  bool running() const { return m_step != Step::Idle; }

  // From now on the pages come from address; the catalogue's date and index
  // version are forgotten, so the next check asks the new site for both.
  void setHomeAddress(const QString& address);
  const QString& homeAddress() const { return m_homeAddress; }

  // The hidden browser's stand-in; tests shorten its time-out.
  PageFetcher& pageFetcher() { return *m_fetcher; }

  // The browser's two events.
  void WebBrowser1DownloadBegin();
  void WebBrowser1DownloadComplete(const QByteArray& page);

 signals:
  void finished(const CheckOutcome& outcome);

 private:
  enum class Step { Idle, VersionPage, IndexPage };
  enum class PageStatus { Waiting, Complete, Fail };

  void fetch(Step step, const char* path);
  void pageJudged();
  void versionPageArrived();
  void indexPageArrived();
  void end(CheckOutcome outcome);
  QString today() const;

  const LanguageTexts& m_texts;
  std::shared_ptr<const Clock> m_clock;
  const QString m_settingsFile;
  QString m_homeAddress;
  std::unique_ptr<PageFetcher> m_fetcher;
  Step m_step = Step::Idle;
  PageStatus m_status = PageStatus::Waiting;
  QByteArray m_pageText;
  QString m_indexVersion;
};

// Replaces keys 1 to 1000 of both catalogue sections of the INI file by the
// entries (at most 1000 a shape) and stores indexVersion, in one atomic
// replacement of the file.
void storeCatalogue(const QString& iniFile, const CatalogueEntries& entries, const QString& indexVersion);
