#include "download/MultiThreadDown.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <algorithm>
#include <limits>
#include <system_error>

#include "download/SegmentFiles.h"
#include "download/SocketResponse.h"
#include "platform/AtomicFile.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kHttpPort = 80;

int millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, std::numeric_limits<int>::max()));
}

// Connects and sends one request, with the exchange's time limit on the connect.
void openAndSend(TBlockingSocket& socket, const std::string& host, const std::string& request,
                 Clock::time_point exchangeDeadline) {
  socket.close();
  socket.setWaitLimit(std::max(millisecondsUntil(exchangeDeadline), 1));
  socket.open(host, kHttpPort);
  socket.sendText(request);
}

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

void SharedProgress::begin(const LowSpeedLimit& limit, int64_t received) {
  std::lock_guard lock(m_mutex);
  m_watch.emplace(limit, received, Clock::now());
}

bool SharedProgress::stalled(int64_t received) {
  std::lock_guard lock(m_mutex);
  return m_watch && m_watch->stalled(received, Clock::now());
}

SharedProgress::Clock::time_point SharedProgress::windowEnd() const {
  std::lock_guard lock(m_mutex);
  return m_watch ? m_watch->windowEnd() : Clock::now();
}

void prepareDownloadVars(DownloadVars& vars, int32_t segmentSizeHint) {
  vars.Status = kDownloadRunning;
  vars.TotalSize = 0;
  vars.Received = 0;
  vars.Cancel = 0;
  vars.SegmentSize = segmentSizeHint;
}

// --- Worker ------------------------------------------------------------------

TMultiThreadDown2::TMultiThreadDown2(std::string path, std::string host, int32_t rangeStart, int32_t rangeEnd,
                                     std::atomic<int32_t>& received, std::string segmentFile,
                                     std::atomic<int32_t>& cancel, const WorkerShared& shared)
    : Path(std::move(path)),
      m_host(std::move(host)),
      RangeStart(rangeStart),
      RangeEnd(rangeEnd),
      Received(received),
      SegmentFile(std::move(segmentFile)),
      Cancel(cancel),
      m_shared(shared) {
  Socket.setStopCheck([this] { return stopWanted(); });
  Socket.setEndpoints(m_shared.Endpoints);
}

TMultiThreadDown2::~TMultiThreadDown2() { join(); }

void TMultiThreadDown2::start() {
  m_thread = std::thread([this] { execute(); });
}

void TMultiThreadDown2::join() {
  if (m_thread.joinable()) m_thread.join();
}

bool TMultiThreadDown2::stopWanted() const { return Cancel.load() != 0 || m_shared.Abort.load(); }

void TMultiThreadDown2::execute() {
  bool fetched = false;
  try {
    fetched = fetch();
  } catch (...) {
    fetched = false;
  }
  Socket.close();
  // One short segment loses the whole download, so the others need not go on.
  if (!fetched) m_shared.Abort = true;
  m_shared.Running.fetch_sub(1);
}

bool TMultiThreadDown2::fetch() {
  SegmentWriter writer;
  if (!writer.create(SegmentFile, static_cast<size_t>(RangeEnd - RangeStart) + 1)) return false;
  const Clock::time_point exchangeDeadline = Clock::now() + m_shared.Limits.Exchange;
  openAndSend(Socket, m_host, rangeRequest(Path, m_host, RangeStart, RangeEnd), exchangeDeadline);
  // Only a body that is exactly the asked range can go into the segment: a
  // server that ignores the range, names another one, or encodes the body
  // would otherwise put wrong bytes into the target.
  const std::optional<ReceivedHead> received =
      readResponseHead(Socket, exchangeDeadline, [this] { return stopWanted(); });
  if (!received || !isExactRangeAnswer(received->head, RangeStart, RangeEnd, m_shared.TotalSize))
    return false;
  if (!receiveBody(writer, received->bodyStart)) return false;
  return writer.finish();
}

// Takes bytes of the body; false when they go past the range or cannot be written.
bool TMultiThreadDown2::takeBodyBytes(SegmentWriter& writer, std::string_view bytes, int32_t& got) {
  const int32_t expected = RangeEnd - RangeStart + 1;
  // More than the range: the answer is not what was asked.
  if (bytes.size() > static_cast<size_t>(expected - got)) return false;
  while (!bytes.empty()) {
    const size_t count = std::min(bytes.size(), SegmentWriter::kReceiveSize);
    std::copy_n(bytes.data(), count, writer.receiveWindow());
    if (!writer.commit(count)) return false;
    bytes.remove_prefix(count);
    got += static_cast<int32_t>(count);
    Received.fetch_add(static_cast<int32_t>(count));
  }
  return true;
}

bool TMultiThreadDown2::receiveBody(SegmentWriter& writer, std::string_view bodyStart) {
  const int32_t expected = RangeEnd - RangeStart + 1;
  int32_t got = 0;
  if (!takeBodyBytes(writer, bodyStart, got)) return false;
  while (got < expected) {
    if (stopWanted() || !Socket.isOpen()) return false;
    char* window = writer.receiveWindow();
    const int count = Socket.receiveAvailable(window, static_cast<int>(SegmentWriter::kReceiveSize));
    if (count < 0) {
      // Nothing waiting: judged by what all workers together have received,
      // so a segment that idles while the others progress is not stalled.
      if (m_shared.Progress.stalled(Received.load())) return false;
      // A wait that ends without data is judged again on the next round.
      Socket.waitForData(std::max(millisecondsUntil(m_shared.Progress.windowEnd()), 1));
      continue;
    }
    if (count == 0) return false;              // the peer closed before the range was complete
    if (count > expected - got) return false;  // more than the range: the answer is not what was asked
    if (!writer.commit(static_cast<size_t>(count))) return false;
    got += count;
    Received.fetch_add(count);
  }
  return true;
}

// --- Controller --------------------------------------------------------------

TMultiThreadDown::TMultiThreadDown(QString url, QString saveFile, DownloadVars& vars, int32_t resume)
    : Url(std::move(url)),
      SaveFile(QFile::encodeName(saveFile).toStdString()),
      SegmentSize(vars.SegmentSize),
      Resume(resume),
      Status(vars.Status),
      TotalSize(vars.TotalSize),
      Received(vars.Received),
      Cancel(vars.Cancel) {
  Cancel = 0;
  Socket.setStopCheck([this] { return stopWanted(); });
}

TMultiThreadDown::~TMultiThreadDown() {
  m_abort = true;
  if (m_thread.joinable()) m_thread.join();
  *m_alive = false;
}

void TMultiThreadDown::start() {
  if (m_thread.joinable() || m_done) return;  // a controller runs one download, once
  try {
    m_thread = std::thread([this] { execute(); });
  } catch (const std::system_error&) {
    Status = kDownloadFailed;
    m_done = true;
    postEndNotification();
  }
}

bool TMultiThreadDown::stopWanted() const { return Cancel.load() != 0 || m_abort.load(); }

void TMultiThreadDown::execute() {
  int32_t outcome = kDownloadFailed;
  try {
    outcome = download();
  } catch (...) {
    outcome = kDownloadFailed;
  }
  Socket.close();
  stopAndJoinWorkers();
  removeSegmentFiles();
  // Last, so that a caller who sees the status finds the files in their
  // final state: the target complete, or no target and no segment left.
  Status = outcome;
  m_done = true;
  postEndNotification();
}

int32_t TMultiThreadDown::download() {
  const std::string path = utf8(GetUrlPath(Url));
  const std::string host = utf8(GetUrlHost(Url));
  // A fresh download removes any old target first, so that whatever way it
  // fails, no target is left behind.
  const std::optional<int32_t> existing = prepareTarget();
  if (!existing) return kDownloadFailed;
  if (host.empty() || !isSafeRequestText(host) || !isSafeRequestText(path)) return kDownloadFailed;
  if (!askLength(path, host)) return kDownloadFailed;
  if (*existing > TotalSize) return kDownloadFailed;
  const std::vector<SegmentRange> plan = planSegments(TotalSize, *existing, SegmentSize);
  if (plan.empty()) return finishWithoutWorkers(*existing) ? kDownloadSucceeded : kDownloadFailed;
  startWorkers(plan, path, host);
  return joinSegmentsAsTheyEnd(plan) ? kDownloadSucceeded : kDownloadFailed;
}

// The HEAD exchange. Without a usable length nothing can be checked, so a
// response that announces none, or a malformed one, fails the download.
bool TMultiThreadDown::askLength(const std::string& path, const std::string& host) {
  const Clock::time_point exchangeDeadline = Clock::now() + m_limits.Exchange;
  if (stopWanted()) return false;
  openAndSend(Socket, host, headRequest(path, host), exchangeDeadline);
  const std::optional<ReceivedHead> received =
      readResponseHead(Socket, exchangeDeadline, [this] { return stopWanted(); });
  Socket.close();
  const std::optional<int32_t> announced = received ? announcedLength(received->head) : std::nullopt;
  if (!announced || (m_limits.MaxLength && *announced > *m_limits.MaxLength)) return false;
  TotalSize = *announced;
  return true;
}

// The length already held: 0 for a fresh start, which removes any old target
// so that a failure leaves none; the target's length when resuming.
std::optional<int32_t> TMultiThreadDown::prepareTarget() {
  if (Resume == 0) {
    if (!removeFileIfPresent(SaveFile)) return std::nullopt;
    return 0;
  }
  const std::optional<int64_t> length = fileLength(SaveFile);
  if (!length) return 0;
  if (*length > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(*length);
}

// Nothing to fetch: an empty file, or a resumed target that is already whole.
bool TMultiThreadDown::finishWithoutWorkers(int32_t existing) {
  if (existing > 0) return true;
  const std::string temporary = segmentFileName(SaveFile, 1);
  return createEmptyFile(temporary) && moveIntoPlace(temporary, SaveFile);
}

void TMultiThreadDown::startWorkers(const std::vector<SegmentRange>& plan, const std::string& path,
                                    const std::string& host) {
  RangeStart.fill(0);
  RangeEnd.fill(0);
  Running = 0;
  m_progress.begin(m_limits.LowSpeed, Received.load());
  const WorkerShared shared{Running, m_abort, m_progress, TotalSize, m_limits, m_endpoints};
  for (int n = 1; n <= static_cast<int>(plan.size()); ++n) {
    RangeStart[n] = plan[n - 1].RangeStart;
    RangeEnd[n] = plan[n - 1].RangeEnd;
    Workers[n] = std::make_unique<TMultiThreadDown2>(path, host, RangeStart[n], RangeEnd[n], Received,
                                                     segmentFileName(SaveFile, n), Cancel, shared);
    Running.fetch_add(1);
    Workers[n]->start();
  }
}

void TMultiThreadDown::stopAndJoinWorkers() {
  bool anyLeft = false;
  for (const auto& worker : Workers) anyLeft = anyLeft || worker != nullptr;
  if (!anyLeft) return;
  if (Running.load() > 0) m_abort = true;
  for (auto& worker : Workers) worker.reset();
}

bool TMultiThreadDown::segmentComplete(int n) const {
  const std::optional<int64_t> length = fileLength(segmentFileName(SaveFile, n));
  return length && *length == RangeEnd[n] - RangeStart[n] + 1;
}

// Waits for the workers in order and appends each segment as soon as it and
// all before it have ended, so that most of the join overlaps the download.
// A fresh target grows from segment 1, which is renamed into place only when
// every segment is in it, so the target never exists half-written. A
// resumed target is extended in place and stays a true prefix of the file.
// Every segment must hold exactly its range, and a Cancel that comes as the
// last one ends still fails the download, so that it leaves no target.
bool TMultiThreadDown::joinSegmentsAsTheyEnd(const std::vector<SegmentRange>& plan) {
  const bool fresh = Resume == 0;
  const std::string base = fresh ? segmentFileName(SaveFile, 1) : SaveFile;
  FileJoiner joiner;
  for (int n = 1; n <= static_cast<int>(plan.size()); ++n) {
    Workers[n]->join();
    if (stopWanted() || !segmentComplete(n)) return false;
    const bool isBase = fresh && n == 1;
    if (n == 1 && !joiner.open(base)) return false;
    if (!isBase && !joiner.append(segmentFileName(SaveFile, n))) return false;
  }
  if (!joiner.close() || stopWanted()) return false;
  const std::optional<int64_t> length = fileLength(base);
  if (!length || *length != TotalSize) return false;
  return !fresh || moveIntoPlace(base, SaveFile);
}

void TMultiThreadDown::removeSegmentFiles() {
  for (int n = 1; n <= kMaxSegments; ++n) removeFileIfPresent(segmentFileName(SaveFile, n));
}

void TMultiThreadDown::postEndNotification() {
  QCoreApplication* application = QCoreApplication::instance();
  if (!m_onTerminate || application == nullptr) return;
  QMetaObject::invokeMethod(
      application,
      [notification = m_onTerminate, alive = m_alive] {
        if (*alive) notification();
      },
      Qt::QueuedConnection);
}
