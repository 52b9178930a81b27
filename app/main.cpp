#include "app/app.h"
#include "app/state_mask.h"
#include "platform/handles.h"

#include <clocale>

int main(int argc, char* argv[]) {
  const ComInitialization com(kComSpeedOverMemory);
  // Any state word replaces the default of listing active endpoints only.
  if (argc > 1) {
    StateMask = 0;
  }
  std::setlocale(LC_ALL, "");
  if (!ParseArguments(argc, argv)) {
    PrintHelp();
    return 2;
  }
  return RunListing(CoCreateInstance, Pause);
}
