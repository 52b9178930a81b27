#include "app/app.h"
#include "platform/handles.h"

int main(int argc, char* argv[]) {
  // Every interface the run obtains is released before COM is uninitialised here.
  const ComInitialization com(kComSpeedOverMemory);
  return RunCommandLine(argc, argv, CoCreateInstance, Pause);
}
