// The download engine: one controller thread per download asks the server for
// the file's length, cuts the file into at most 20 byte ranges, fetches them
// on worker threads of their own into segment files, and joins the segments
// into the target.
//
// Calling order (from the main thread):
//   1. prepareDownloadVars(vars, hint);
//   2. auto down = std::make_unique<TMultiThreadDown>(url, saveFile, vars, 0);
//   3. down->setOnTerminate(...); down->start();
//   4. the notification runs on the main thread once Status has left 2;
//      until then TotalSize and Received may be read (a timer) and Cancel
//      set to 1 at any time.
//   5. Status 1: saveFile holds exactly the announced bytes. Status 0: no
//      target file is left (unless Resume kept the caller's partial file),
//      and failureReason() says why in words.
// Addresses are http:// or https://, with a port or without; the HEAD
// request follows up to five redirects, and the segments fetch the address
// it ends at. A server that cannot serve the ranges gets one GET for the
// whole body instead.
// The caller owns vars and the controller, and must keep vars alive until the
// controller is destroyed; destroying a running controller stops it and
// waits for its threads.
#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "download/DownloadRules.h"
#include "download/SocketResponse.h"
#include "platform/BlockingSocket.h"

class TlsContext;

enum : int32_t { kDownloadFailed = 0, kDownloadSucceeded = 1, kDownloadRunning = 2 };

// The variables a caller shares with one download.
struct DownloadVars {
  std::atomic<int32_t> Status{kDownloadFailed};  // 2 running, 1 succeeded, 0 failed; leaves 2 once
  std::atomic<int32_t> TotalSize{0};             // the announced length, once the HEAD exchange is done
  std::atomic<int32_t> Received{0};              // bytes received so far over all workers
  std::atomic<int32_t> Cancel{0};                // the caller sets 1 to stop
  std::atomic<int32_t> SegmentSize{0};           // the segment size hint in bytes
};

// Sets the variables for a new download with the given segment size hint.
void prepareDownloadVars(DownloadVars& vars, int32_t segmentSizeHint);

// A download has no overall time limit: a slow but steady one runs to its
// end, and the caller has Cancel. What it does bound ends every download
// against a server that never answers or drips its bytes too slowly, so a
// caller without a Cancel still gets an answer.
struct DownloadLimits {
  // Connecting (the host name's lookup included), sending the request and
  // reading the headers of one response.
  std::chrono::milliseconds Exchange{60000};
  // The bodies of all segments together, from the moment they are asked for.
  LowSpeedLimit LowSpeed;
  // The longest file the caller takes: a longer announced length fails the
  // download on the HEAD answer, before anything is fetched or written.
  // Every segment takes exactly its range, so no download grows past the
  // length it announced. None: any length the HEAD answer can carry.
  std::optional<int32_t> MaxLength;
};

// The low-speed rule over every worker of one download.
class SharedProgress {
 public:
  using Clock = std::chrono::steady_clock;

  void begin(const LowSpeedLimit& limit, int64_t received);
  bool stalled(int64_t received);
  Clock::time_point windowEnd() const;

 private:
  mutable std::mutex m_mutex;
  std::optional<ProgressWatch> m_watch;
};

// Why a segment's answer could not be used, when that changes what the
// controller does next.
enum class SegmentVerdict { None, RangesIgnored, BodyEncoded };

// What a worker shares with its controller besides the caller's variables.
struct WorkerShared {
  std::atomic<int32_t>& Running;  // workers started and not yet ended
  std::atomic<bool>& Abort;       // the download is abandoned: every thread stops
  std::atomic<bool>& Lost;        // a segment has failed: the other workers stop
  std::atomic<SegmentVerdict>& Verdict;
  SharedProgress& Progress;
  int32_t TotalSize = 0;  // the length the HEAD response announced
  DownloadLimits Limits;
  std::shared_ptr<const EndpointMap> Endpoints;
  DownloadAddress Address;  // where the HEAD request ended up
  std::shared_ptr<const TlsContext> Tls;
};

// One segment: a ranged GET whose body goes into the segment file.
class TMultiThreadDown2 {
 public:
  TMultiThreadDown2(std::string path, std::string host, int32_t rangeStart, int32_t rangeEnd,
                    std::atomic<int32_t>& received, std::string segmentFile, std::atomic<int32_t>& cancel,
                    const WorkerShared& shared);
  ~TMultiThreadDown2();
  TMultiThreadDown2(const TMultiThreadDown2&) = delete;
  TMultiThreadDown2& operator=(const TMultiThreadDown2&) = delete;

  // Runs the body on a thread of its own; it lowers Running when it ends.
  void start();
  void join();

 private:
  void execute();
  bool fetch();
  bool receiveBody(class SegmentWriter& writer, std::string_view bodyStart);
  bool takeBodyBytes(class SegmentWriter& writer, std::string_view bytes, int32_t& got);
  bool stopWanted() const;

  TBlockingSocket Socket;
  const std::string Path;
  const std::string m_host;
  const int32_t RangeStart;
  const int32_t RangeEnd;
  std::atomic<int32_t>& Received;
  const std::string SegmentFile;
  std::atomic<int32_t>& Cancel;
  WorkerShared m_shared;
  std::thread m_thread;  // joined in the destructor, before any member goes away
};

// The controller of one download.
class TMultiThreadDown {
 public:
  // Sets Cancel to 0. Resume 0 starts the target afresh; nonzero keeps an
  // existing target and fetches only what it lacks.
  TMultiThreadDown(QString url, QString saveFile, DownloadVars& vars, int32_t resume = 0);
  ~TMultiThreadDown();
  TMultiThreadDown(const TMultiThreadDown&) = delete;
  TMultiThreadDown& operator=(const TMultiThreadDown&) = delete;

  // Before start().
  void setLimits(const DownloadLimits& limits) { m_limits = limits; }
  // Before start(). where the test's host names really go (none in the program).
  void setEndpoints(std::shared_ptr<const EndpointMap> endpoints) {
    m_endpoints = endpoints;
    Socket.setEndpoints(std::move(endpoints));
  }
  // Runs on the application's main thread after the body has set Status,
  // unless this controller has been destroyed by then.
  void setOnTerminate(std::function<void()> notification) { m_onTerminate = std::move(notification); }
  void start();
  // True once the body has returned.
  bool finished() const { return m_done.load(); }
  // Once finished with Status 0: why, in words (empty when cancelled).
  std::string failureReason() const { return m_done.load() ? m_failure : std::string(); }

 private:
  void execute();
  bool download();
  bool fail(std::string reason);
  bool askLength(DownloadAddress& address);
  bool takeHeadAnswer(const ResponseHead& head);
  void openAndSend(const DownloadAddress& address, const std::string& request,
                   std::chrono::steady_clock::time_point exchangeDeadline);
  bool streamWhole(const DownloadAddress& address, int32_t existing);
  bool takeWholeBody(const ReceivedHead& received, int32_t existing);
  bool placeWholeBody(int64_t length);
  std::optional<int32_t> prepareTarget();
  bool finishWithoutWorkers(int32_t existing);
  void startWorkers(const std::vector<SegmentRange>& plan, const DownloadAddress& address);
  void stopAndJoinWorkers();
  bool segmentComplete(int n) const;
  bool joinSegmentsAsTheyEnd(const std::vector<SegmentRange>& plan);
  void removeSegmentFiles();
  void postEndNotification();
  bool stopWanted() const;

  const QString Url;
  const std::string SaveFile;  // as the file system names it
  std::atomic<int32_t>& SegmentSize;
  const int32_t Resume;
  std::atomic<int32_t>& Status;
  std::atomic<int32_t>& TotalSize;
  std::atomic<int32_t>& Received;
  std::atomic<int32_t>& Cancel;
  TBlockingSocket Socket;                              // for the HEAD exchange and a whole-body GET
  std::array<int32_t, kMaxSegments + 1> RangeStart{};  // 1-based, like the segment files
  std::array<int32_t, kMaxSegments + 1> RangeEnd{};
  std::array<std::unique_ptr<TMultiThreadDown2>, kMaxSegments + 1> Workers;
  std::atomic<int32_t> Running{0};

  DownloadLimits m_limits;
  std::shared_ptr<const EndpointMap> m_endpoints;
  SharedProgress m_progress;
  std::atomic<bool> m_abort{false};
  std::atomic<bool> m_segmentLost{false};
  std::atomic<SegmentVerdict> m_verdict{SegmentVerdict::None};
  std::shared_ptr<const TlsContext> m_tls;
  bool m_lengthKnown = true;
  std::string m_failure;  // written by the body's thread before m_done
  std::function<void()> m_onTerminate;
  std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
  std::atomic<bool> m_done{false};
  std::thread m_thread;  // joined in the destructor, before any member goes away
};
