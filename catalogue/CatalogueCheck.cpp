// The daily catalogue check: the version page, the index page and the
// catalogue sections of "setting.ini".
#include "catalogue/CatalogueCheck.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QThread>

#include "app/IniFile.h"
#include "app/Main.h"
#include "app/UnitGlobal.h"
#include "platform/PageFetcher.h"
#include "platform/TextCodec.h"

namespace {

const QString kComplete = QStringLiteral("complete");
const QString kFail = QStringLiteral("fail");
constexpr unsigned long kWaitStepMilliseconds = 200;

QString SettingsFile() { return ExeFolder() + QStringLiteral("setting.ini"); }
QString HomeAddress() { return QStringLiteral("http://") + HomeHost(); }
QString Today() { return CheckDateText(QDate::currentDate()); }

void ShowErrorTip(TfrmMain& window, const QString& text) {
  window.lblErrorTip->setCaption(text);
  window.lblErrorTip->show();
}

// Asks for a page and waits, letting the window's events run, until the
// download handlers have judged it; the fetcher ends every fetch, so does this.
void FetchPage(TfrmMain& window, const QString& address) {
  window.PageStatus.clear();
  WindowPageFetcher(window).navigate(address);
  window.PageStatus.clear();
  while (window.PageStatus != kComplete && window.PageStatus != kFail) {
    QCoreApplication::processEvents();
    QThread::msleep(kWaitStepMilliseconds);
  }
}

// Everything of the check between showing the waiting panel and storing the
// date: whether the network view may go on.
bool RunCheck(TfrmMain& window) {
  const TIniFile settings(SettingsFile());
  if (settings.ReadIniText(kCheckSection, QStringLiteral("date"), kNeverCheckedDate) == Today()) return true;

  FetchPage(window, HomeAddress() + kVersionPagePath);
  if (window.PageStatus == kFail) {
    ShowErrorTip(window, szConnectfail + HomeAddress());
    return false;
  }
  if (DecodeText(SoftwareVersionOf(window.PageText)) != window.ProgramVersion) {
    ShowErrorTip(window, szUpdated + HomeAddress() + szDownloadnew);
    return false;
  }
  const QString indexVersion = DecodeText(IndexVersionOf(window.PageText));
  if (indexVersion == settings.ReadIniText(kCheckSection, QStringLiteral("indexver"), QString())) {
    window.lblErrorTip->hide();
    return true;
  }

  FetchPage(window, HomeAddress() + kIndexPagePath);
  if (window.PageStatus == kFail) {
    ShowErrorTip(window, szConnectfail + HomeAddress());
    return false;
  }
  window.PageText = IndexTextOf(window.PageText);
  window.lblErrorTip->hide();
  StoreCatalogue(settings.FileName(), ParseIndexPage(window.PageText), indexVersion);
  return true;
}

void ShowCheckRunning(TfrmMain& window) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  window.panConnectNetwork->show();
  window.panConnectNetwork->move(48, window.panConnectNetwork->y());
  window.panConnectNetwork->setCaption(szConnecting);
  QCoreApplication::processEvents();
}

void EndCheck(TfrmMain& window) {
  window.panConnectNetwork->hide();
  QApplication::restoreOverrideCursor();
  QCoreApplication::processEvents();
  WindowPageFetcher(window).navigate(QStringLiteral("about:blank"));
}

void WriteEntries(TIniBatch& batch, const QString& section, const QList<QByteArray>& entries) {
  const qsizetype count = std::min<qsizetype>(entries.size(), kCatalogueKeyCount);
  for (qsizetype k = 0; k < count; ++k)
    batch.WriteIniText(section, QString::number(k + 1), DecodeText(entries[k]));
}

// One check at a time: the window's events run while a check waits, and a
// second check would take over the fetch the first one is waiting for.
bool g_checkRunning = false;

}  // namespace

PageFetcher& WindowPageFetcher(TfrmMain& window) {
  if (!window.pageFetcher) {
    window.pageFetcher = std::make_unique<PageFetcher>();
    QObject::connect(window.pageFetcher.get(), &PageFetcher::downloadBegin, &window,
                     [&window] { window.WebBrowser1DownloadBegin(); });
    QObject::connect(window.pageFetcher.get(), &PageFetcher::downloadComplete, &window,
                     [&window](const QByteArray& page) { window.WebBrowser1DownloadComplete(page); });
  }
  return *window.pageFetcher;
}

void StoreCatalogue(const QString& iniFile, const CatalogueEntries& entries, const QString& indexVersion) {
  TIniBatch batch(iniFile);
  for (int k = 1; k <= kCatalogueKeyCount; ++k) {
    batch.DeleteIniKey(kNormalSection, QString::number(k));
    batch.DeleteIniKey(kWidescreenSection, QString::number(k));
  }
  WriteEntries(batch, kNormalSection, entries.normal);
  WriteEntries(batch, kWidescreenSection, entries.widescreen);
  batch.WriteIniText(kCheckSection, QStringLiteral("indexver"), indexVersion);
  batch.Commit();
}

bool TfrmMain::CheckCatalogueUpdate() {
  if (g_checkRunning) return false;
  g_checkRunning = true;
  ShowCheckRunning(*this);
  try {
    const bool mayGoOn = RunCheck(*this);
    TIniFile(SettingsFile()).WriteIniText(kCheckSection, QStringLiteral("date"), Today());
    EndCheck(*this);
    g_checkRunning = false;
    return mayGoOn;
  } catch (...) {
    EndCheck(*this);
    g_checkRunning = false;
    throw;
  }
}

void TfrmMain::WebBrowser1DownloadBegin() {
  PageStatus.clear();
  PageText.clear();
}

void TfrmMain::WebBrowser1DownloadComplete(const QByteArray& page) {
  if (!PageStatus.isEmpty()) return;
  PageText += PageTextOf(page);
  PageStatus = HasPageMarkers(PageText) ? kComplete : kFail;
}
