#include "app/app.h"
#include "platform/handles.h"
#include "text/output.h"

int main(int argc, char* argv[]) {
  // Every interface the run obtains is released before COM is uninitialised here.
  const ComInitialization com(kComSpeedOverMemory);
  SelectOutput();
  return RunCommandLine(argc, argv, CoCreateInstance, Pause);
}
