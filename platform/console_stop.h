// The console's way of stopping a watch.
#pragma once

#include <windows.h>

// While it exists, the console's Ctrl+C, Ctrl+Break, close, log-off and
// shutdown stop the watch. It is made first and ends last: a closing console
// waits until it ends, so that everything made after it is released first.
class ConsoleStop {
 public:
  ConsoleStop();
  ~ConsoleStop();
  ConsoleStop(const ConsoleStop&) = delete;
  ConsoleStop& operator=(const ConsoleStop&) = delete;
  ConsoleStop(ConsoleStop&&) = delete;
  ConsoleStop& operator=(ConsoleStop&&) = delete;

  // Set once a stop is asked for; null when it could not be created.
  [[nodiscard]] static HANDLE StopEvent();
  [[nodiscard]] static bool Requested();
};

// The console control handler: asks the watch to stop, and for a close,
// log-off or shutdown (after which the process is ended) waits a few seconds
// at most for the watch to end. Always TRUE: the event is handled.
BOOL WINAPI StopWatching(DWORD control);
