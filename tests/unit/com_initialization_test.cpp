#include "platform/core_audio.h"
#include "platform/handles.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Runs the check on a thread of its own, so that no apartment the check makes
// or leaves behind reaches the other tests.
template <typename Check>
void OnNewThread(Check check) {
  std::thread thread(check);
  thread.join();
}

TEST(ComInitialization, UninitialisesWhatItInitialised) {
  OnNewThread([] {
    { const ComInitialization com(kComSpeedOverMemory); }
    // Nothing is left initialised: a new initialisation is the first again.
    const HRESULT again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(again, S_OK);
    CoUninitialize();
  });
}

TEST(ComInitialization, LeavesAnApartmentItCouldNotJoinAlone) {
  OnNewThread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    // The multithreaded apartment is refused on a single-threaded one; the
    // failed attempt must not undo the thread's own initialisation.
    { const ComInitialization com(kComSpeedOverMemory); }
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
  });
}

}  // namespace
