#include "main/signal_watch.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>

namespace truvello::cli {

namespace {

// Lock-free, hence safe to touch from a signal handler.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void record_signal(int signo) {
  int none = 0;
  g_signal.compare_exchange_strong(none, signo);
}

constexpr auto kPollInterval = std::chrono::milliseconds(10);

void install(int signo, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  sigaction(signo, &action, nullptr);
}

}  // namespace

SignalWatch::SignalWatch() : watcher_([this](std::stop_token stop) { watch(stop); }) {
  // SA_RESETHAND: a user who presses Ctrl-C twice gets the default action.
  install(SIGINT, record_signal, SA_RESETHAND | SA_RESTART);
  install(SIGTERM, record_signal, SA_RESETHAND | SA_RESTART);
}

SignalWatch::~SignalWatch() {
  watcher_.request_stop();
  watcher_.join();
  install(SIGINT, SIG_DFL, 0);
  install(SIGTERM, SIG_DFL, 0);
}

int SignalWatch::received() { return g_signal.load(); }

void SignalWatch::watch(std::stop_token stop) {
  std::mutex idle;
  std::condition_variable_any wake;
  std::unique_lock lock(idle);
  while (!stop.stop_requested()) {
    if (g_signal.load() != 0) cancel_current();
    wake.wait_for(lock, stop, kPollInterval, [] { return false; });
  }
}

void SignalWatch::cancel_current() {
  std::lock_guard lock(mutex_);
  // truvello_cancel takes no lock and never waits, so calling it under ours
  // is safe; the lock keeps the handle from being freed meanwhile.
  if (current_ != nullptr) truvello_cancel(current_);
}

SignalWatch::Attachment::Attachment(SignalWatch& watch, truvello_handle* handle) : watch_(watch) {
  std::lock_guard lock(watch_.mutex_);
  watch_.current_ = handle;
  if (g_signal.load() != 0) truvello_cancel(handle);
}

SignalWatch::Attachment::~Attachment() {
  std::lock_guard lock(watch_.mutex_);
  watch_.current_ = nullptr;
}

}  // namespace truvello::cli
