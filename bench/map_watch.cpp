// Starts a program and tells how long it took to map its first top-level
// window of at least a given width on the X server, and optionally its
// resident memory a while after that; then ends the program.
//
//   bench-map-watch MIN_WIDTH RSS_AFTER_SECONDS program [arguments...]
//
// Prints "mapped_ms=<ms> rss_kb=<kB>" (rss_kb 0 when not asked for) and
// exits 0, or 1 when nothing was mapped within 20 seconds.
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long residentKilobytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

pid_t spawn(char** argv) {
  const pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[0], argv);
    _exit(127);
  }
  return pid;
}

// Until a top-level window at least minWidth wide is mapped: whether one was.
bool awaitMap(Display* display, int minWidth, Clock::time_point deadline) {
  while (Clock::now() < deadline) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != MapNotify) continue;
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display, event.xmap.window, &attributes) && attributes.width >= minWidth)
        return true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s MIN_WIDTH RSS_AFTER_SECONDS program [arguments...]\n", argv[0]);
    return 2;
  }
  const int minWidth = std::atoi(argv[1]);
  const double rssAfter = std::atof(argv[2]);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "no X display\n");
    return 2;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);
  const Clock::time_point start = Clock::now();
  const pid_t child = spawn(argv + 3);
  const bool mapped = awaitMap(display, minWidth, start + std::chrono::seconds(20));
  const double mappedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  long rss = 0;
  if (mapped && rssAfter > 0) {
    std::this_thread::sleep_for(std::chrono::duration<double>(rssAfter));
    rss = residentKilobytes(child);
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  XCloseDisplay(display);
  if (!mapped) return 1;
  std::printf("mapped_ms=%.1f rss_kb=%ld\n", mappedMs, rss);
  return 0;
}
