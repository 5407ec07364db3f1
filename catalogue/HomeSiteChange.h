// The settings page's "Catalogue site": an address the user writes becomes
// the home site. It is stored as setting.ini [home] host, handed to the
// catalogue check, and checked by fetching its version page; what the check
// found comes back as a text to show beside the field.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "platform/AppContext.h"
#include "platform/LanguageTexts.h"

class CatalogueCheck;
class PageFetcher;

class HomeSiteChange : public QObject {
  Q_OBJECT
 public:
  HomeSiteChange(const LanguageTexts& texts, const AppContext& context, CatalogueCheck& check,
                 QObject* parent = nullptr);
  ~HomeSiteChange() override;

  // The site in use, as the field shows it.
  QString site() const;
  // The user's text. One that is not an address changes nothing and says so;
  // the address in use is checked again.
  void submit(const QString& text);
  PageFetcher& pageFetcher() { return *m_fetcher; }

 signals:
  void siteChanged(const QString& address);
  // The text to show beside the field.
  void verdict(const QString& text);

 private:
  void versionPageArrived(const QByteArray& page);

  const LanguageTexts& m_texts;
  const QString m_dataFolder;
  CatalogueCheck& m_check;
  std::unique_ptr<PageFetcher> m_fetcher;
};
