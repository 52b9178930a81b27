#include "tests/unit/platform_test.h"
#include "text/text.h"

#include <string>

namespace {

using Listing = PlatformTest;

// A device whose block is not under test: it prints nothing.
FakeDevice& AddHidden(FakePlatform& platform, const wchar_t* name) {
  return platform.AddDevice(name, DEVICE_STATE_DISABLED);
}

TEST_F(Listing, CreatesTheEnumeratorAndEnumeratesRenderEndpointsInTheMask) {
  platform.states = DEVICE_STATE_ACTIVE | DEVICE_STATE_UNPLUGGED;
  CapturedOutput output;
  EXPECT_EQ(platform.RunListing(), 0);
  EXPECT_EQ(output.Text(), "====== Found 0 audio devices ======\n");
  EXPECT_EQ(platform.create_calls, 1);
  EXPECT_TRUE(platform.create_right_ids);
  EXPECT_EQ(platform.create_context, 0x17u);
  ASSERT_EQ(platform.enumerator.enumerations.size(), 1u);
  EXPECT_EQ(platform.enumerator.enumerations[0].first, eRender);
  EXPECT_EQ(platform.enumerator.enumerations[0].second, DEVICE_STATE_ACTIVE | DEVICE_STATE_UNPLUGGED);
  EXPECT_EQ(platform.pauses, 1);
}

TEST_F(Listing, HeaderCountsEveryEndpointAndStaysPlural) {
  AddHidden(platform, L"one");
  {
    CapturedOutput output;
    EXPECT_EQ(platform.RunListing(), 0);
    EXPECT_EQ(output.Text(), "====== Found 1 audio devices ======\n");
  }
  for (int more = 0; more < 11; ++more) {
    AddHidden(platform, L"more");
  }
  CapturedOutput output;
  EXPECT_EQ(platform.RunListing(), 0);
  EXPECT_EQ(output.Text(), "====== Found 12 audio devices ======\n");
  EXPECT_EQ(platform.pauses, 2);
}

TEST_F(Listing, EnumeratorFailureIsReportedWithoutHeaderOrPause) {
  for (const HRESULT code : {E_FAIL, E_OUTOFMEMORY, REGDB_E_CLASSNOTREG, CO_E_NOTINITIALIZED}) {
    platform.create_fault = code;
    CapturedOutput output;
    EXPECT_EQ(platform.RunListing(), -1);
    EXPECT_EQ(output.Text(), "Couldn't create Device Enumerator: [0x" + FormatCode(static_cast<std::uint32_t>(code)) + "]\n");
  }
  EXPECT_EQ(platform.pauses, 0);
  EXPECT_TRUE(platform.enumerator.enumerations.empty());
}

TEST_F(Listing, EnumerationFailureIsReportedWithoutHeaderOrPause) {
  platform.enumerator.faults["EnumAudioEndpoints"] = E_OUTOFMEMORY;
  CapturedOutput output;
  EXPECT_EQ(platform.RunListing(), -1);
  EXPECT_EQ(output.Text(), "Couldn't enumerate: [0x8007000E]\n");
  EXPECT_EQ(platform.pauses, 0);
}

TEST_F(Listing, SuccessThatHandsBackNothingIsAFailureNotACrash) {
  platform.create_hands_back_nothing = true;
  {
    CapturedOutput output;
    EXPECT_EQ(platform.RunListing(), -1);
    EXPECT_EQ(output.Text(), "Couldn't create Device Enumerator: [0x80004003]\n");
  }
  platform.create_hands_back_nothing = false;
  platform.enumerator.hand_back_nothing = true;
  CapturedOutput output;
  EXPECT_EQ(platform.RunListing(), -1);
  EXPECT_EQ(output.Text(), "Couldn't enumerate: [0x80004003]\n");
}

TEST_F(Listing, FailedCountListsNothing) {
  AddHidden(platform, L"a");
  platform.enumerator.collection.faults["GetCount"] = E_FAIL;
  CapturedOutput output;
  EXPECT_EQ(platform.RunListing(), 0);
  EXPECT_EQ(output.Text(), "====== Found 0 audio devices ======\n");
  EXPECT_TRUE(platform.enumerator.collection.items_asked.empty());
  EXPECT_EQ(platform.pauses, 1);
}

TEST_F(Listing, EndpointsThatCannotBeObtainedAreSkipped) {
  platform.AddDevice(L"first");
  platform.AddDevice(L"second");
  platform.AddDevice(L"third");
  platform.enumerator.collection.item_faults[0] = kNotFound;
  platform.enumerator.collection.empty_items = {1};
  CapturedOutput output;
  EXPECT_EQ(platform.RunListing(), 0);
  const std::string text = output.Text();
  EXPECT_EQ(text.find("first"), std::string::npos);
  EXPECT_EQ(text.find("second"), std::string::npos);
  EXPECT_NE(text.find("Device ID          : {0.0.0.00000000}.{third}\n"), std::string::npos);
  EXPECT_EQ(platform.enumerator.collection.items_asked, (std::vector<UINT>{0, 1, 2}));
}

TEST_F(Listing, WalksEndpointsInCollectionOrderWithHeaderFirst) {
  platform.AddDevice(L"b");
  platform.AddDevice(L"a");
  CapturedOutput output;
  EXPECT_EQ(platform.RunListing(), 0);
  const std::string text = output.Text();
  EXPECT_EQ(text.rfind("====== Found 2 audio devices ======\n===== Device =====\n", 0), 0u);
  EXPECT_LT(text.find("{b}"), text.find("{a}"));
}

}  // namespace
