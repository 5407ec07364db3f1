#include "catalogue/HomeSiteChange.h"

#include "catalogue/CatalogueCheck.h"
#include "catalogue/CatalogueRules.h"
#include "download/PageFetcher.h"
#include "platform/ProgramFolder.h"

HomeSiteChange::HomeSiteChange(const LanguageTexts& texts, const AppContext& context, CatalogueCheck& check,
                               QObject* parent)
    : QObject(parent),
      m_texts(texts),
      m_dataFolder(context.dataFolder),
      m_check(check),
      m_fetcher(std::make_unique<PageFetcher>()) {
  m_fetcher->setEndpoints(context.endpoints);
  connect(m_fetcher.get(), &PageFetcher::downloadComplete, this, &HomeSiteChange::versionPageArrived);
}

HomeSiteChange::~HomeSiteChange() = default;

QString HomeSiteChange::site() const { return m_check.homeAddress(); }

void HomeSiteChange::submit(const QString& text) {
  const std::optional<QString> address = homeSiteAddress(text);
  if (!address) {
    m_fetcher->navigate(QStringLiteral("about:blank"));
    emit verdict(m_texts.szSitenotaddress);
    return;
  }
  if (*address != m_check.homeAddress()) {
    storeHomeSite(m_dataFolder, *address);
    m_check.setHomeAddress(*address);
    emit siteChanged(*address);
  }
  emit verdict(m_texts.szSitechecking);
  m_fetcher->navigate(*address + QLatin1String(kVersionPagePath));
}

void HomeSiteChange::versionPageArrived(const QByteArray& page) {
  emit verdict(hasPageMarkers(pageTextOf(page))
                   ? m_texts.szSiteanswers
                   : m_texts.szSitenocatalogue + QLatin1Char(' ') + m_check.homeAddress());
}
