#include "library/WallpaperWorker.h"

#include <QMetaObject>
#include <QTimer>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "library/SetDesktopWallpaper.h"

namespace {
// How long the worker's end waits for a run it has stopped, so that no
// thread is still at work while the program shuts down.
constexpr auto kEndWait = std::chrono::seconds(2);

SetResult deadlinePassed(const WallpaperSetter& setter, std::chrono::milliseconds deadline) {
  return SetResult::timedOut(QStringLiteral("%1 did not finish within %2 and was stopped")
                                 .arg(setter.name(), deadlineText(deadline)));
}

SetResult runSetter(WallpaperSetter& setter, const WallpaperWorker::Request& request,
                    const CancelToken& cancel, std::chrono::milliseconds deadline) {
  SetResult result;
  try {
    result = request.kind == WallpaperWorker::RequestKind::RestoreChoices
                 ? setter.restoreChoices(cancel)
                 : SetDesktopWallpaper(setter, request.path, request.target, cancel);
  } catch (const std::exception& error) {
    // Nothing may leave a thread's body: it would end the program.
    result = SetResult::failed(QString::fromLocal8Bit(error.what()));
  } catch (...) {
    result = SetResult::failed(QStringLiteral("the desktop's setter broke"));
  }
  // A tool stopped at the deadline ends as the deadline's failure, whichever
  // of the two the window's thread hears of first.
  if (result.status != SetStatus::Applied && cancel.isCancelled()) return deadlinePassed(setter, deadline);
  return result;
}
}  // namespace

// Where a run's thread leaves its result. The worker may be gone by then:
// the thread posts only while the worker is there, under the lock that the
// worker's end takes too.
struct WallpaperWorker::Mailbox {
  std::mutex lock;
  std::condition_variable ended;
  WallpaperWorker* receiver = nullptr;
  int runs = 0;

  void post(quint64 ticket, const SetResult& result) {
    std::lock_guard guard(lock);
    if (receiver) {
      WallpaperWorker* worker = receiver;
      QMetaObject::invokeMethod(
          worker, [worker, ticket, result] { worker->takeResult(ticket, result); }, Qt::QueuedConnection);
    }
    --runs;
    ended.notify_all();
  }
};

QString deadlineText(std::chrono::milliseconds deadline) {
  if (deadline.count() % 1000 == 0) return QStringLiteral("%1 s").arg(deadline.count() / 1000);
  return QStringLiteral("%1 ms").arg(deadline.count());
}

WallpaperWorker::WallpaperWorker(std::shared_ptr<WallpaperSetter> setter, std::chrono::milliseconds deadline,
                                 QObject* parent)
    : QObject(parent),
      m_setter(std::move(setter)),
      m_deadline(deadline),
      m_mailbox(std::make_shared<Mailbox>()),
      m_deadlineTimer(new QTimer(this)) {
  m_mailbox->receiver = this;
  m_deadlineTimer->setSingleShot(true);
  connect(m_deadlineTimer, &QTimer::timeout, this, &WallpaperWorker::abandonRunning);
}

WallpaperWorker::~WallpaperWorker() {
  if (m_runningCancel) m_runningCancel->cancel();
  std::unique_lock guard(m_mailbox->lock);
  m_mailbox->receiver = nullptr;
  // A killed tool ends within moments; a call that cannot be stopped is left to finish on its own.
  m_mailbox->ended.wait_for(guard, kEndWait, [this] { return m_mailbox->runs == 0; });
}

quint64 WallpaperWorker::apply(const QString& path, const WallpaperTarget& target) {
  return enqueue({0, RequestKind::SetPicture, path, target});
}

quint64 WallpaperWorker::restoreChoices() { return enqueue({0, RequestKind::RestoreChoices, {}, {}}); }

quint64 WallpaperWorker::enqueue(Request request) {
  request.ticket = ++m_lastTicket;
  if (!m_running) {
    start(request);
    return request.ticket;
  }
  if (m_waiting) emit superseded(m_waiting->ticket);
  m_waiting = request;
  return request.ticket;
}

void WallpaperWorker::start(const Request& request) {
  m_running = request;
  // The token's own deadline stops the tool even while this thread is held up.
  m_runningCancel = std::make_shared<CancelToken>(QDeadlineTimer(m_deadline));
  {
    std::lock_guard guard(m_mailbox->lock);
    ++m_mailbox->runs;
  }
  std::thread([setter = m_setter, cancel = m_runningCancel, mailbox = m_mailbox, request,
               deadline = m_deadline] {
    mailbox->post(request.ticket, runSetter(*setter, request, *cancel, deadline));
  }).detach();
  m_deadlineTimer->start(m_deadline);
}

void WallpaperWorker::takeResult(quint64 ticket, const SetResult& result) {
  // A run abandoned at its deadline has been answered already.
  if (!m_running || m_running->ticket != ticket) return;
  m_deadlineTimer->stop();
  m_running.reset();
  m_runningCancel.reset();
  // The next one starts first: whoever hears of this end may show a box.
  startWaiting();
  emit finished(ticket, result);
}

void WallpaperWorker::abandonRunning() {
  if (!m_running) return;
  const quint64 ticket = m_running->ticket;
  m_runningCancel->cancel();
  m_running.reset();
  m_runningCancel.reset();
  startWaiting();
  emit finished(ticket, deadlinePassed(*m_setter, m_deadline));
}

void WallpaperWorker::startWaiting() {
  if (m_running || !m_waiting) return;
  const Request next = *m_waiting;
  m_waiting.reset();
  start(next);
}
