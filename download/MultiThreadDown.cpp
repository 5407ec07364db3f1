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

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, std::numeric_limits<int>::max()));
}

// Connects and sends one request, with the exchange's time limit on the connect.
void OpenAndSend(TBlockingSocket& socket, const std::string& host, const std::string& request,
                 Clock::time_point exchangeDeadline) {
  socket.Close();
  socket.SetWaitLimit(std::max(MillisecondsUntil(exchangeDeadline), 1));
  socket.Open(host, kHttpPort);
  socket.SendText(request);
}

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

void SharedProgress::Begin(const LowSpeedLimit& limit, int64_t received) {
  std::lock_guard lock(Mutex);
  Watch.emplace(limit, received, Clock::now());
}

bool SharedProgress::Stalled(int64_t received) {
  std::lock_guard lock(Mutex);
  return Watch && Watch->Stalled(received, Clock::now());
}

SharedProgress::Clock::time_point SharedProgress::WindowEnd() const {
  std::lock_guard lock(Mutex);
  return Watch ? Watch->WindowEnd() : Clock::now();
}

void PrepareDownloadVars(DownloadVars& vars, int32_t segmentSizeHint) {
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
      Host(std::move(host)),
      RangeStart(rangeStart),
      RangeEnd(rangeEnd),
      Received(received),
      SegmentFile(std::move(segmentFile)),
      Cancel(cancel),
      Shared(shared) {
  Socket.SetStopCheck([this] { return StopWanted(); });
  Socket.setEndpoints(Shared.Endpoints);
}

TMultiThreadDown2::~TMultiThreadDown2() { Join(); }

void TMultiThreadDown2::Start() {
  Thread = std::thread([this] { Execute(); });
}

void TMultiThreadDown2::Join() {
  if (Thread.joinable()) Thread.join();
}

bool TMultiThreadDown2::StopWanted() const { return Cancel.load() != 0 || Shared.Abort.load(); }

void TMultiThreadDown2::Execute() {
  bool fetched = false;
  try {
    fetched = Fetch();
  } catch (...) {
    fetched = false;
  }
  Socket.Close();
  // One short segment loses the whole download, so the others need not go on.
  if (!fetched) Shared.Abort = true;
  Shared.Running.fetch_sub(1);
}

bool TMultiThreadDown2::Fetch() {
  SegmentWriter writer;
  if (!writer.Create(SegmentFile, static_cast<size_t>(RangeEnd - RangeStart) + 1)) return false;
  const Clock::time_point exchangeDeadline = Clock::now() + Shared.Limits.Exchange;
  OpenAndSend(Socket, Host, RangeRequest(Path, Host, RangeStart, RangeEnd), exchangeDeadline);
  // Only a body that is exactly the asked range can go into the segment: a
  // server that ignores the range, names another one, or encodes the body
  // would otherwise put wrong bytes into the target.
  const std::optional<ReceivedHead> received =
      ReadResponseHead(Socket, exchangeDeadline, [this] { return StopWanted(); });
  if (!received || !IsExactRangeAnswer(received->head, RangeStart, RangeEnd, Shared.TotalSize)) return false;
  if (!ReceiveBody(writer, received->bodyStart)) return false;
  return writer.Finish();
}

// Takes bytes of the body; false when they go past the range or cannot be written.
bool TMultiThreadDown2::TakeBodyBytes(SegmentWriter& writer, std::string_view bytes, int32_t& got) {
  const int32_t expected = RangeEnd - RangeStart + 1;
  // More than the range: the answer is not what was asked.
  if (bytes.size() > static_cast<size_t>(expected - got)) return false;
  while (!bytes.empty()) {
    const size_t count = std::min(bytes.size(), SegmentWriter::kReceiveSize);
    std::copy_n(bytes.data(), count, writer.ReceiveWindow());
    if (!writer.Commit(count)) return false;
    bytes.remove_prefix(count);
    got += static_cast<int32_t>(count);
    Received.fetch_add(static_cast<int32_t>(count));
  }
  return true;
}

bool TMultiThreadDown2::ReceiveBody(SegmentWriter& writer, std::string_view bodyStart) {
  const int32_t expected = RangeEnd - RangeStart + 1;
  int32_t got = 0;
  if (!TakeBodyBytes(writer, bodyStart, got)) return false;
  while (got < expected) {
    if (StopWanted() || !Socket.IsOpen()) return false;
    char* window = writer.ReceiveWindow();
    const int count = Socket.ReceiveAvailable(window, static_cast<int>(SegmentWriter::kReceiveSize));
    if (count < 0) {
      // Nothing waiting: judged by what all workers together have received,
      // so a segment that idles while the others progress is not stalled.
      if (Shared.Progress.Stalled(Received.load())) return false;
      // A wait that ends without data is judged again on the next round.
      Socket.WaitForData(std::max(MillisecondsUntil(Shared.Progress.WindowEnd()), 1));
      continue;
    }
    if (count == 0) return false;              // the peer closed before the range was complete
    if (count > expected - got) return false;  // more than the range: the answer is not what was asked
    if (!writer.Commit(static_cast<size_t>(count))) return false;
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
  Socket.SetStopCheck([this] { return StopWanted(); });
}

TMultiThreadDown::~TMultiThreadDown() {
  Abort = true;
  if (Thread.joinable()) Thread.join();
  *Alive = false;
}

void TMultiThreadDown::Start() {
  if (Thread.joinable() || Done) return;  // a controller runs one download, once
  try {
    Thread = std::thread([this] { Execute(); });
  } catch (const std::system_error&) {
    Status = kDownloadFailed;
    Done = true;
    PostEndNotification();
  }
}

bool TMultiThreadDown::StopWanted() const { return Cancel.load() != 0 || Abort.load(); }

void TMultiThreadDown::Execute() {
  int32_t outcome = kDownloadFailed;
  try {
    outcome = Download();
  } catch (...) {
    outcome = kDownloadFailed;
  }
  Socket.Close();
  StopAndJoinWorkers();
  RemoveSegmentFiles();
  // Last, so that a caller who sees the status finds the files in their
  // final state: the target complete, or no target and no segment left.
  Status = outcome;
  Done = true;
  PostEndNotification();
}

int32_t TMultiThreadDown::Download() {
  const std::string path = Utf8(GetUrlPath(Url));
  const std::string host = Utf8(GetUrlHost(Url));
  // A fresh download removes any old target first, so that whatever way it
  // fails, no target is left behind.
  const std::optional<int32_t> existing = PrepareTarget();
  if (!existing) return kDownloadFailed;
  if (host.empty() || !IsSafeRequestText(host) || !IsSafeRequestText(path)) return kDownloadFailed;
  if (!AskLength(path, host)) return kDownloadFailed;
  if (*existing > TotalSize) return kDownloadFailed;
  const std::vector<SegmentRange> plan = PlanSegments(TotalSize, *existing, SegmentSize);
  if (plan.empty()) return FinishWithoutWorkers(*existing) ? kDownloadSucceeded : kDownloadFailed;
  StartWorkers(plan, path, host);
  return JoinSegmentsAsTheyEnd(plan) ? kDownloadSucceeded : kDownloadFailed;
}

// The HEAD exchange. Without a usable length nothing can be checked, so a
// response that announces none, or a malformed one, fails the download.
bool TMultiThreadDown::AskLength(const std::string& path, const std::string& host) {
  const Clock::time_point exchangeDeadline = Clock::now() + Limits.Exchange;
  if (StopWanted()) return false;
  OpenAndSend(Socket, host, HeadRequest(path, host), exchangeDeadline);
  const std::optional<ReceivedHead> received =
      ReadResponseHead(Socket, exchangeDeadline, [this] { return StopWanted(); });
  Socket.Close();
  const std::optional<int32_t> announced = received ? AnnouncedLength(received->head) : std::nullopt;
  if (!announced) return false;
  TotalSize = *announced;
  return true;
}

// The length already held: 0 for a fresh start, which removes any old target
// so that a failure leaves none; the target's length when resuming.
std::optional<int32_t> TMultiThreadDown::PrepareTarget() {
  if (Resume == 0) {
    if (!RemoveFileIfPresent(SaveFile)) return std::nullopt;
    return 0;
  }
  const std::optional<int64_t> length = FileLength(SaveFile);
  if (!length) return 0;
  if (*length > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(*length);
}

// Nothing to fetch: an empty file, or a resumed target that is already whole.
bool TMultiThreadDown::FinishWithoutWorkers(int32_t existing) {
  if (existing > 0) return true;
  const std::string temporary = SegmentFileName(SaveFile, 1);
  return CreateEmptyFile(temporary) && MoveIntoPlace(temporary, SaveFile);
}

void TMultiThreadDown::StartWorkers(const std::vector<SegmentRange>& plan, const std::string& path,
                                    const std::string& host) {
  RangeStart.fill(0);
  RangeEnd.fill(0);
  Running = 0;
  Progress.Begin(Limits.LowSpeed, Received.load());
  const WorkerShared shared{Running, Abort, Progress, TotalSize, Limits, Endpoints};
  for (int n = 1; n <= static_cast<int>(plan.size()); ++n) {
    RangeStart[n] = plan[n - 1].RangeStart;
    RangeEnd[n] = plan[n - 1].RangeEnd;
    Workers[n] = std::make_unique<TMultiThreadDown2>(path, host, RangeStart[n], RangeEnd[n], Received,
                                                     SegmentFileName(SaveFile, n), Cancel, shared);
    Running.fetch_add(1);
    Workers[n]->Start();
  }
}

void TMultiThreadDown::StopAndJoinWorkers() {
  bool anyLeft = false;
  for (const auto& worker : Workers) anyLeft = anyLeft || worker != nullptr;
  if (!anyLeft) return;
  if (Running.load() > 0) Abort = true;
  for (auto& worker : Workers) worker.reset();
}

bool TMultiThreadDown::SegmentComplete(int n) const {
  const std::optional<int64_t> length = FileLength(SegmentFileName(SaveFile, n));
  return length && *length == RangeEnd[n] - RangeStart[n] + 1;
}

// Waits for the workers in order and appends each segment as soon as it and
// all before it have ended, so that most of the join overlaps the download.
// A fresh target grows from segment 1, which is renamed into place only when
// every segment is in it, so the target never exists half-written. A
// resumed target is extended in place and stays a true prefix of the file.
// Every segment must hold exactly its range, and a Cancel that comes as the
// last one ends still fails the download, so that it leaves no target.
bool TMultiThreadDown::JoinSegmentsAsTheyEnd(const std::vector<SegmentRange>& plan) {
  const bool fresh = Resume == 0;
  const std::string base = fresh ? SegmentFileName(SaveFile, 1) : SaveFile;
  FileJoiner joiner;
  for (int n = 1; n <= static_cast<int>(plan.size()); ++n) {
    Workers[n]->Join();
    if (StopWanted() || !SegmentComplete(n)) return false;
    const bool isBase = fresh && n == 1;
    if (n == 1 && !joiner.Open(base)) return false;
    if (!isBase && !joiner.Append(SegmentFileName(SaveFile, n))) return false;
  }
  if (!joiner.Close() || StopWanted()) return false;
  const std::optional<int64_t> length = FileLength(base);
  if (!length || *length != TotalSize) return false;
  return !fresh || MoveIntoPlace(base, SaveFile);
}

void TMultiThreadDown::RemoveSegmentFiles() {
  for (int n = 1; n <= kMaxSegments; ++n) RemoveFileIfPresent(SegmentFileName(SaveFile, n));
}

void TMultiThreadDown::PostEndNotification() {
  QCoreApplication* application = QCoreApplication::instance();
  if (!OnTerminate || application == nullptr) return;
  QMetaObject::invokeMethod(
      application,
      [notification = OnTerminate, alive = Alive] {
        if (*alive) notification();
      },
      Qt::QueuedConnection);
}
