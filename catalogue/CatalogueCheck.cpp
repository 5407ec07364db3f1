#include "catalogue/CatalogueCheck.h"

#include <QDate>
#include <QTimer>

#include "download/PageFetcher.h"
#include "platform/IniFile.h"
#include "platform/TextCodec.h"

namespace {

void writeEntries(IniBatch& batch, const QString& section, const QList<QByteArray>& entries) {
  const qsizetype count = std::min<qsizetype>(entries.size(), kCatalogueKeyCount);
  for (qsizetype k = 0; k < count; ++k)
    batch.WriteIniText(section, QString::number(k + 1), decodeText(entries[k]));
}

}  // namespace

CatalogueCheck::CatalogueCheck(const LanguageTexts& texts, const AppContext& context, QObject* parent)
    : QObject(parent),
      m_texts(texts),
      m_clock(context.clock),
      m_settingsFile(context.dataFolder + QStringLiteral("setting.ini")),
      m_homeAddress(context.homeSite),
      m_fetcher(std::make_unique<PageFetcher>()) {
  m_fetcher->setEndpoints(context.endpoints);
  connect(m_fetcher.get(), &PageFetcher::downloadBegin, this, &CatalogueCheck::WebBrowser1DownloadBegin);
  connect(m_fetcher.get(), &PageFetcher::downloadComplete, this,
          &CatalogueCheck::WebBrowser1DownloadComplete);
}

CatalogueCheck::~CatalogueCheck() = default;

QString CatalogueCheck::today() const { return checkDateText(m_clock->now().date()); }

void CatalogueCheck::CheckCatalogueUpdate() {
  if (running()) return;
  const IniFile settings(m_settingsFile);
  if (settings.ReadIniText(kCheckSection, QStringLiteral("date"), kNeverCheckedDate) == today()) {
    end({true, QString(), QString()});
    return;
  }
  fetch(Step::VersionPage, kVersionPagePath);
}

void CatalogueCheck::setHomeAddress(const QString& address) {
  if (address == m_homeAddress) return;
  m_homeAddress = address;
  IniBatch batch(m_settingsFile);
  batch.DeleteIniKey(kCheckSection, QStringLiteral("date"));
  batch.DeleteIniKey(kCheckSection, QStringLiteral("indexver"));
  batch.commit();
}

void CatalogueCheck::fetch(Step step, const char* path) {
  m_step = step;
  m_status = PageStatus::Waiting;
  m_pageText.clear();
  m_fetcher->navigate(m_homeAddress + QLatin1String(path));
}

void CatalogueCheck::WebBrowser1DownloadBegin() {
  m_status = PageStatus::Waiting;
  m_pageText.clear();
}

void CatalogueCheck::WebBrowser1DownloadComplete(const QByteArray& page) {
  if (m_step == Step::Idle || m_status != PageStatus::Waiting) return;
  m_pageText += pageTextOf(page);
  m_status = hasPageMarkers(m_pageText) ? PageStatus::Complete : PageStatus::Fail;
  // The fetcher is still inside its own event; the check goes on after it.
  QTimer::singleShot(0, this, &CatalogueCheck::pageJudged);
}

void CatalogueCheck::pageJudged() {
  if (m_status == PageStatus::Fail) {
    end({false, m_texts.szConnectfail + m_homeAddress, QString()});
    return;
  }
  if (m_step == Step::VersionPage)
    versionPageArrived();
  else if (m_step == Step::IndexPage)
    indexPageArrived();
}

void CatalogueCheck::versionPageArrived() {
  if (decodeText(softwareVersionOf(m_pageText)) != ProgramVersion) {
    end({false, m_texts.szUpdated + m_homeAddress + m_texts.szDownloadnew, QString()});
    return;
  }
  m_indexVersion = decodeText(indexVersionOf(m_pageText));
  const IniFile settings(m_settingsFile);
  if (m_indexVersion == settings.ReadIniText(kCheckSection, QStringLiteral("indexver"), QString())) {
    end({true, QString(), QString()});
    return;
  }
  fetch(Step::IndexPage, kIndexPagePath);
}

void CatalogueCheck::indexPageArrived() {
  try {
    storeCatalogue(m_settingsFile, parseIndexPage(indexTextOf(m_pageText)), m_indexVersion);
  } catch (const IniWriteError& error) {
    // The view ends, and the window reports the error.
    m_step = Step::Idle;
    m_fetcher->navigate(QStringLiteral("about:blank"));
    emit finished({false, QString(), error.report()});
    return;
  }
  end({true, QString(), QString()});
}

void CatalogueCheck::end(CheckOutcome outcome) {
  m_step = Step::Idle;
  m_fetcher->navigate(QStringLiteral("about:blank"));
  try {
    IniFile(m_settingsFile).WriteIniText(kCheckSection, QStringLiteral("date"), today());
  } catch (const IniWriteError& error) {
    outcome.mayGoOn = false;
    outcome.writeFailure = error.report();
  }
  emit finished(outcome);
}

void storeCatalogue(const QString& iniFile, const CatalogueEntries& entries, const QString& indexVersion) {
  IniBatch batch(iniFile);
  for (int k = 1; k <= kCatalogueKeyCount; ++k) {
    batch.DeleteIniKey(kNormalSection, QString::number(k));
    batch.DeleteIniKey(kWidescreenSection, QString::number(k));
  }
  writeEntries(batch, kNormalSection, entries.normal);
  writeEntries(batch, kWidescreenSection, entries.widescreen);
  batch.WriteIniText(kCheckSection, QStringLiteral("indexver"), indexVersion);
  batch.commit();
}
