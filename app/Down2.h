// The progress dialog: runs one picture download with a growing bar and a
// Cancel button, and closes itself when the download has ended. A failed or
// cancelled download leaves no file at SaveFile.
#pragma once

#include <QDialog>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>

#include "download/MultiThreadDown.h"
#include "platform/LanguageTexts.h"

class QTimer;
class SkinImage;
class SkinLabel;
class PictureButton;

constexpr int kProgressBarFullWidth = 319;

// The bar's width for received of totalSize bytes: 0 while the length is
// unknown, at most the full width. The product is formed in 64 bits, so files
// beyond 6.7 MB do not overflow it.
int ProgressBarWidth(int32_t received, int32_t totalSize);
// The bar only grows: the width to show after having shown `shown`.
int GrownBarWidth(int shown, int32_t received, int32_t totalSize);
// A failed or cancelled download must not leave its target behind, even one
// that completed just as the user cancelled.
bool DownloadTargetMustGo(int32_t status, int32_t cancel);

class TfrmDown2 : public QDialog {
  Q_OBJECT
 public:
  // endpoints: where the tests' host names really go; none in the program.
  explicit TfrmDown2(const LanguageTexts& texts, std::shared_ptr<const EndpointMap> endpoints = {},
                     QWidget* parent = nullptr);
  ~TfrmDown2() override;

  SkinImage* Image1;
  SkinImage* imgProcess;
  SkinLabel* Label1;
  SkinLabel* Label2;
  PictureButton* btnStop;
  QTimer* Timer1;

  // Set by the caller before the dialog is shown.
  QString Url;
  QString SaveFile;

  // The counters of the current (or last) download, for reading.
  const DownloadVars& Counters() const { return Vars; }

  void FormCreate();
  void FormShow();
  void Timer1Timer();
  void btnStopClick();

 protected:
  void showEvent(QShowEvent* event) override;
  // Escape and the window manager's close ask for Cancel; the dialog itself
  // closes only when the download has ended.
  void reject() override;

 private:
  void RunDownload();
  void GrowBar();
  void DownThreadTerminate(const QString& saveFile);
  void RemoveLostTarget(const QString& saveFile) const;

  const LanguageTexts& m_texts;
  QTimer* m_watch;  // grows the bar while the download runs
  int m_shownBarWidth = 1;

  // Vars outlives the controller that refers to it: members go in reverse order.
  DownloadVars Vars;
  int32_t Resume = 0;
  QString DownUrl;  // the copies the running download was started with
  QString DownSaveFile;
  std::unique_ptr<TMultiThreadDown> DownThread;
  std::shared_ptr<const EndpointMap> m_endpoints;
};
