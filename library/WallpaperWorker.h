// Sets the desktop wallpaper off the window's thread. A desktop's tool may
// hang or take seconds (a busy session bus, a tool that waits for a lock, a
// huge photo to scale), and the window must stay alive meanwhile: apply()
// returns at once and the outcome comes back on the caller's thread as a
// value.
//
// One picture is set at a time, since two desktop tools writing the same
// setting at once leave either picture behind. A request made while one
// runs waits; a newer one replaces a waiting one, which ends as superseded,
// so a burst of clicks ends with the picture of the last click. A run that
// passes the deadline is abandoned: it ends as timed out, its tool is killed,
// and whatever it answers later is dropped.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

#include "platform/WallpaperSetter.h"

class QTimer;

inline constexpr std::chrono::milliseconds kWallpaperDeadline{20000};

class WallpaperWorker : public QObject {
  Q_OBJECT
 public:
  explicit WallpaperWorker(std::shared_ptr<WallpaperSetter> setter,
                           std::chrono::milliseconds deadline = kWallpaperDeadline,
                           QObject* parent = nullptr);
  ~WallpaperWorker() override;

  // Starts setting the picture, or queues it behind the one running; the
  // ticket names the request in finished() or superseded().
  quint64 apply(const QString& path, const WallpaperTarget& target = WallpaperTarget::allMonitors());
  // Puts the monitors' remembered pictures back (monitors came or went, the
  // session started), queued like a picture.
  quint64 restoreChoices();
  bool idle() const { return !m_running && !m_waiting; }
  std::chrono::milliseconds deadline() const { return m_deadline; }

  // What a run is asked to do.
  enum class RequestKind { SetPicture, RestoreChoices };
  struct Request {
    quint64 ticket = 0;
    RequestKind kind = RequestKind::SetPicture;
    QString path;
    WallpaperTarget target;
  };

 signals:
  // Exactly one of the two ends each request.
  void finished(quint64 ticket, const SetResult& result);
  void superseded(quint64 ticket);

 private:
  struct Mailbox;

  quint64 enqueue(Request request);
  void start(const Request& request);
  void takeResult(quint64 ticket, const SetResult& result);
  void abandonRunning();
  void startWaiting();

  std::shared_ptr<WallpaperSetter> m_setter;
  std::chrono::milliseconds m_deadline;
  std::shared_ptr<Mailbox> m_mailbox;
  std::shared_ptr<CancelToken> m_runningCancel;
  std::optional<Request> m_running;
  std::optional<Request> m_waiting;
  QTimer* m_deadlineTimer;
  quint64 m_lastTicket = 0;
};

// "20 s", or "200 ms" for a deadline of less than whole seconds.
QString deadlineText(std::chrono::milliseconds deadline);
