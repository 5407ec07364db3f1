#include "download/MultiThreadDown.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <algorithm>
#include <limits>
#include <system_error>

#include "download/ResponseBody.h"
#include "download/SegmentFiles.h"
#include "download/SocketResponse.h"
#include "platform/AtomicFile.h"
#include "platform/TlsSession.h"

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, std::numeric_limits<int>::max()));
}

SocketSecurity securityOf(const DownloadAddress& address) {
  return address.Scheme == UrlScheme::Https ? SocketSecurity::Tls : SocketSecurity::Plain;
}

// Connects and sends one request, with the exchange's time limit on the
// connect and, over TLS, on the handshake.
void openAndSendOn(TBlockingSocket& socket, const DownloadAddress& address, const std::string& request,
                   Clock::time_point exchangeDeadline) {
  socket.close();
  socket.setWaitLimit(std::max(millisecondsUntil(exchangeDeadline), 1));
  socket.open(address.Host, address.Port, securityOf(address));
  socket.sendText(request);
}

std::string encodedBodyReason(const ResponseHead& head) {
  return "the server sends the file with Content-Encoding: " + head.contentEncoding + ", which is not stored";
}

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

std::string statusReason(int status) { return "the server answers " + std::to_string(status); }

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
  Socket.setTlsContext(m_shared.Tls);
}

TMultiThreadDown2::~TMultiThreadDown2() { join(); }

void TMultiThreadDown2::start() {
  m_thread = std::thread([this] { execute(); });
}

void TMultiThreadDown2::join() {
  if (m_thread.joinable()) m_thread.join();
}

bool TMultiThreadDown2::stopWanted() const {
  return Cancel.load() != 0 || m_shared.Abort.load() || m_shared.Lost.load();
}

void TMultiThreadDown2::execute() {
  bool fetched = false;
  try {
    fetched = fetch();
  } catch (...) {
    fetched = false;
  }
  Socket.close();
  // One short segment loses the whole download, so the others need not go on.
  if (!fetched) m_shared.Lost = true;
  m_shared.Running.fetch_sub(1);
}

bool TMultiThreadDown2::fetch() {
  SegmentWriter writer;
  if (!writer.create(SegmentFile, static_cast<size_t>(RangeEnd - RangeStart) + 1)) return false;
  const Clock::time_point exchangeDeadline = Clock::now() + m_shared.Limits.Exchange;
  openAndSendOn(Socket, m_shared.Address, rangeRequest(Path, m_host, RangeStart, RangeEnd), exchangeDeadline);
  // Only a body that is exactly the asked range can go into the segment: a
  // server that ignores the range, names another one, or encodes the body
  // would otherwise put wrong bytes into the target. The whole body in
  // answer (200), or no range served at all (416), is for the controller to
  // fetch in one piece instead.
  const std::optional<ReceivedHead> received =
      readResponseHead(Socket, exchangeDeadline, [this] { return stopWanted(); });
  if (!received) return false;
  const int status = received->head.status;
  if (hasContentCoding(received->head)) {
    m_shared.Verdict = SegmentVerdict::BodyEncoded;
    return false;
  }
  if (status == 200 || status == 416) {
    SegmentVerdict none = SegmentVerdict::None;
    m_shared.Verdict.compare_exchange_strong(none, SegmentVerdict::RangesIgnored);
    return false;
  }
  if (!isExactRangeAnswer(received->head, RangeStart, RangeEnd, m_shared.TotalSize)) return false;
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
    outcome = download() ? kDownloadSucceeded : kDownloadFailed;
  } catch (const std::exception& error) {
    fail(error.what());
    outcome = kDownloadFailed;
  } catch (...) {
    outcome = kDownloadFailed;
  }
  if (outcome != kDownloadSucceeded && stopWanted()) m_failure.clear();
  Socket.close();
  stopAndJoinWorkers();
  removeSegmentFiles();
  // Last, so that a caller who sees the status finds the files in their
  // final state: the target complete, or no target and no segment left.
  Status = outcome;
  m_done = true;
  postEndNotification();
}

bool TMultiThreadDown::fail(std::string reason) {
  if (m_failure.empty()) m_failure = std::move(reason);
  return false;
}

bool TMultiThreadDown::download() {
  // A fresh download removes any old target first, so that whatever way it
  // fails, no target is left behind.
  const std::optional<int32_t> existing = prepareTarget();
  if (!existing) return fail("the target file cannot be replaced");
  std::optional<DownloadAddress> address = splitDownloadUrl(Url);
  if (!address) return fail("the address cannot be fetched: " + utf8(Url));
  if (!askLength(*address)) return false;
  if (!m_lengthKnown) return streamWhole(*address, *existing);
  if (*existing > TotalSize) return fail("the target is already longer than the file");
  const std::vector<SegmentRange> plan = planSegments(TotalSize, *existing, SegmentSize);
  if (plan.empty()) return finishWithoutWorkers(*existing);
  startWorkers(plan, *address);
  if (joinSegmentsAsTheyEnd(plan)) return true;
  stopAndJoinWorkers();
  if (m_verdict == SegmentVerdict::BodyEncoded)
    return fail("a segment's answer is encoded, which is not stored");
  if (m_verdict != SegmentVerdict::RangesIgnored || stopWanted())
    return fail("a segment did not arrive whole");
  // The server cannot serve ranges: what the segments got goes, and one
  // request takes the whole body.
  removeSegmentFiles();
  Received = 0;
  return streamWhole(*address, *existing);
}

void TMultiThreadDown::openAndSend(const DownloadAddress& address, const std::string& request,
                                   Clock::time_point exchangeDeadline) {
  // One TLS setup for the whole download: the trust store is read once.
  if (address.Scheme == UrlScheme::Https && !m_tls) {
    m_tls = TlsContext::create();
    Socket.setTlsContext(m_tls);
  }
  openAndSendOn(Socket, address, request, exchangeDeadline);
}

// The HEAD exchange, following redirects; address ends as the one that
// answered. A file whose length the answer does not give is fetched whole.
bool TMultiThreadDown::askLength(DownloadAddress& address) {
  for (int hop = 0;; ++hop) {
    const Clock::time_point exchangeDeadline = Clock::now() + m_limits.Exchange;
    if (stopWanted()) return false;
    openAndSend(address, headRequest(address.Path, address.hostLine()), exchangeDeadline);
    const std::optional<ReceivedHead> received =
        readResponseHead(Socket, exchangeDeadline, [this] { return stopWanted(); });
    Socket.close();
    if (!received) return fail("no readable answer to the HEAD request from " + address.Host);
    if (!isRedirectStatus(received->head.status)) return takeHeadAnswer(received->head);
    if (hop == kMaxRedirects) return fail("more than 5 redirects");
    const RedirectTarget next = followRedirect(address, received->head.location);
    if (!next.Address) return fail(next.Refusal);
    address = *next.Address;
  }
}

bool TMultiThreadDown::takeHeadAnswer(const ResponseHead& head) {
  if (head.status != 200) return fail(statusReason(head.status));
  if (hasContentCoding(head)) return fail(encodedBodyReason(head));
  if (head.lengthUnreadable) return fail("the announced length cannot be read");
  m_lengthKnown = head.contentLength.has_value();
  if (!m_lengthKnown) return true;
  if (m_limits.MaxLength && *head.contentLength > *m_limits.MaxLength) return fail("the file is too long");
  TotalSize = *head.contentLength;
  return true;
}

// One GET without a range, its body checked against the HEAD's length when
// there was one. The body goes into segment file 1 like any segment and
// becomes the target only once it is whole; a resumed target keeps what it
// has and takes the rest.
bool TMultiThreadDown::streamWhole(const DownloadAddress& address, int32_t existing) {
  const Clock::time_point exchangeDeadline = Clock::now() + m_limits.Exchange;
  if (stopWanted()) return false;
  openAndSend(address, wholeRequest(address.Path, address.hostLine()), exchangeDeadline);
  const std::optional<ReceivedHead> received =
      readResponseHead(Socket, exchangeDeadline, [this] { return stopWanted(); });
  if (!received) return fail("no readable answer to the GET request from " + address.Host);
  const ResponseHead& head = received->head;
  if (head.status != 200) return fail(statusReason(head.status));
  if (hasContentCoding(head)) return fail(encodedBodyReason(head));
  if (m_lengthKnown && head.contentLength && *head.contentLength != TotalSize)
    return fail("the GET answer's length differs from the HEAD answer's");
  return takeWholeBody(*received, existing);
}

bool TMultiThreadDown::takeWholeBody(const ReceivedHead& received, int32_t existing) {
  SegmentWriter writer;
  const int64_t maximum =
      m_lengthKnown ? int64_t{TotalSize} : m_limits.MaxLength.value_or(std::numeric_limits<int32_t>::max());
  if (!writer.create(segmentFileName(SaveFile, 1), static_cast<size_t>(m_lengthKnown ? TotalSize.load() : 0)))
    return fail("a segment file cannot be written");
  int64_t offset = 0;  // of the stream's bytes seen so far
  m_progress.begin(m_limits.LowSpeed, Received.load());
  BodyReading reading;
  reading.MaximumBytes = maximum;
  reading.NextWait = [this] {
    if (stopWanted() || m_progress.stalled(Received.load())) return 0;
    return std::max(millisecondsUntil(m_progress.windowEnd()), 1);
  };
  reading.Take = [&](std::string_view bytes) {
    const int64_t skip = std::clamp<int64_t>(existing - offset, 0, static_cast<int64_t>(bytes.size()));
    offset += static_cast<int64_t>(bytes.size());
    bytes.remove_prefix(static_cast<size_t>(skip));
    while (!bytes.empty()) {
      const size_t count = std::min(bytes.size(), SegmentWriter::kReceiveSize);
      std::copy_n(bytes.data(), count, writer.receiveWindow());
      if (!writer.commit(count)) return false;
      bytes.remove_prefix(count);
      Received.fetch_add(static_cast<int32_t>(count));
    }
    return true;
  };
  if (!readResponseBody(Socket, received, reading)) return fail("the body did not arrive whole");
  Socket.close();
  if (!writer.finish()) return fail("a segment file cannot be written");
  if (offset < existing) return fail("the file is shorter than the target already is");
  return placeWholeBody(offset);
}

bool TMultiThreadDown::placeWholeBody(int64_t length) {
  if (m_lengthKnown && length != TotalSize) return fail("the body is not as long as announced");
  if (stopWanted()) return false;
  const std::string body = segmentFileName(SaveFile, 1);
  bool placed = false;
  if (Resume == 0) {
    placed = moveIntoPlace(body, SaveFile);
  } else {
    FileJoiner joiner;
    placed = joiner.open(SaveFile) && joiner.append(body) && joiner.close();
  }
  if (!placed) return fail("the target file cannot be written");
  if (!m_lengthKnown) TotalSize = static_cast<int32_t>(length);
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

void TMultiThreadDown::startWorkers(const std::vector<SegmentRange>& plan, const DownloadAddress& address) {
  RangeStart.fill(0);
  RangeEnd.fill(0);
  Running = 0;
  m_progress.begin(m_limits.LowSpeed, Received.load());
  const WorkerShared shared{Running,   m_abort,  m_segmentLost, m_verdict, m_progress,
                            TotalSize, m_limits, m_endpoints,   address,   m_tls};
  const std::string& path = address.Path;
  const std::string host = address.hostLine();
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
  if (Running.load() > 0) m_segmentLost = true;
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
    if (stopWanted() || m_segmentLost || !segmentComplete(n)) return false;
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
