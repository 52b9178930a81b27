#include "platform/console_stop.h"

#include <atomic>

namespace {

// A closing console ends the process once its handler returns; the system
// allows about five seconds for that.
constexpr DWORD kLongestCloseWaitMs = 4000;

// Made once and never freed: the console's handler runs on a thread of its
// own and may still run as the process ends.
struct StopState {
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);    // manual reset: a stop stays asked for
  HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);   // the watch has released everything
  std::atomic<bool> requested{false};
};

StopState& State() {
  static StopState state;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
  return state;
}

}  // namespace

ConsoleStop::ConsoleStop() {
  StopState& state = State();
  state.requested = false;
  static_cast<void>(ResetEvent(state.stop));
  static_cast<void>(ResetEvent(state.ended));
  static_cast<void>(SetConsoleCtrlHandler(StopWatching, TRUE));
}

ConsoleStop::~ConsoleStop() {
  static_cast<void>(SetEvent(State().ended));
  static_cast<void>(SetConsoleCtrlHandler(StopWatching, FALSE));
}

HANDLE ConsoleStop::StopEvent() { return State().stop != nullptr && State().ended != nullptr ? State().stop : nullptr; }

bool ConsoleStop::Requested() { return State().requested; }

BOOL WINAPI StopWatching(DWORD control) {
  StopState& state = State();
  state.requested = true;
  static_cast<void>(SetEvent(state.stop));
  if (control == CTRL_CLOSE_EVENT || control == CTRL_LOGOFF_EVENT || control == CTRL_SHUTDOWN_EVENT) {
    static_cast<void>(WaitForSingleObject(state.ended, kLongestCloseWaitMs));
  }
  return TRUE;
}
