// The progress dialog: draws one picture download with a growing bar and a
// Cancel button, and closes itself when the download has ended. The download
// session runs it; a failed or cancelled download leaves no file at SaveFile.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "download/DownloadSession.h"
#include "platform/LanguageTexts.h"

class QTimer;
class SkinImage;
class SkinLabel;
class PictureButton;

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
  const DownloadVars& counters() const { return m_session.counters(); }
  DownloadSession& session() { return m_session; }

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
  void drawBar(int width);

  const LanguageTexts& m_texts;
  DownloadSession m_session;
};
