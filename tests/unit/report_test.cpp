#include "modes/modes.h"
#include "views/views.h"
#include "tests/unit/platform_test.h"

// The platform's own definitions of the property keys, to check the tool's against.
#include <initguid.h>
#include <functiondiscoverykeys_devpkey.h>

#include <string>

namespace {

class Report : public PlatformTest {
 protected:
  // Reports one endpoint the way the listing does, from a handle the test owns.
  std::string Print(FakeDevice& device) {
    ComHandle<IMMDevice> handle;
    device.HandOut(handle.Put());
    CapturedOutput output;
    ListEndpoint(std::move(handle), eRender, options);
    return output.Text();
  }

  Options options;
};

std::string Block(const std::string& id, const std::string& name, const std::string& adapter,
                  const std::string& description, const std::string& state, const std::string& format) {
  return "===== Device =====\n"
         "Device ID          : " + id + "\n"
         "Device name        : " + name + "\n"
         "Adapter name       : " + adapter + "\n"
         "Device description : " + description + "\n"
         "Device state       : " + state + "\n"
         "Current format     : " + format + "\n\n";
}

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
  return IsEqualGUID(a.fmtid, b.fmtid) && a.pid == b.pid;
}

TEST_F(Report, PrintsTheSevenLineBlockThenAnEmptyLine) {
  FakeDevice& device = platform.AddDevice(L"spk");
  device.SetNames(L"Speakers (Realtek)", L"Realtek High Definition Audio", L"Speakers");
  device.mix_format = ExtensibleMix(2);
  EXPECT_EQ(Print(device), Block("{0.0.0.00000000}.{spk}", "Speakers (Realtek)", "Realtek High Definition Audio",
                                 "Speakers", "Active", "Stereo"));
  EXPECT_EQ(device.store_access, static_cast<DWORD>(STGM_READ));
}

TEST_F(Report, ReadsTheThreePropertiesByThePlatformsKeys) {
  FakeDevice& device = platform.AddDevice(L"spk");
  Print(device);
  ASSERT_EQ(device.store.keys_read.size(), 3u);
  EXPECT_TRUE(SameKey(device.store.keys_read[0], PKEY_Device_FriendlyName));
  EXPECT_TRUE(SameKey(device.store.keys_read[1], PKEY_DeviceInterface_FriendlyName));
  EXPECT_TRUE(SameKey(device.store.keys_read[2], PKEY_Device_DeviceDesc));
}

TEST_F(Report, StateNamesTheFourStatesAndNothingElse) {
  const std::pair<DWORD, const char*> states[] = {{DEVICE_STATE_ACTIVE, "Active"},
                                                  {DEVICE_STATE_DISABLED, "Disabled"},
                                                  {DEVICE_STATE_NOTPRESENT, "Not present"},
                                                  {DEVICE_STATE_UNPLUGGED, "Unplugged"},
                                                  {DEVICE_STATE_ACTIVE | DEVICE_STATE_DISABLED, "Unknown"},
                                                  {0x10, "Unknown"},
                                                  {0xFFFFFFFF, "Unknown"}};
  options.filter.states = 0xFFFFFFFF;
  for (const auto& [state, name] : states) {
    FakeDevice& device = platform.AddDevice(L"d");
    device.state = state;
    EXPECT_NE(Print(device).find(std::string("Device state       : ") + name + "\n"), std::string::npos) << name;
  }
  EXPECT_STREQ(StateName(0), L"Unknown");
}

TEST_F(Report, EndpointOutsideTheMaskPrintsNothingAndProbesNothing) {
  options.filter.states = DEVICE_STATE_ACTIVE | DEVICE_STATE_UNPLUGGED;
  FakeDevice& device = platform.AddDevice(L"off", DEVICE_STATE_DISABLED);
  device.faults["Activate"] = E_FAIL;  // a probe would say so on the output
  EXPECT_EQ(Print(device), "");
  EXPECT_TRUE(device.activate_iids.empty());
  EXPECT_EQ(device.store.keys_read.size(), 3u);
}

TEST_F(Report, AbsentOrNonTextPropertiesShowUnknown) {
  FakeDevice& device = platform.AddDevice(L"x");
  device.store.values.clear();
  device.store.values[{0x026E516E, 2}] = {VT_UI4, L""};    // a number where text belongs
  device.store.values[{0xA45C254E, 2}] = {VT_EMPTY, L""};  // nothing at all
  device.store.values[{0xA45C254E, 14}] = {VT_LPWSTR, L"Only a name"};
  EXPECT_EQ(Print(device), Block("{0.0.0.00000000}.{x}", "Only a name", "Unknown", "Unknown", "Active", "Stereo"));
  // Absent text is "Unknown"; text that is there but empty stays empty.
  EndpointSnapshot literal;
  literal.description = L"";
  EXPECT_NE(Block(literal, {}).find(L"Adapter name       : Unknown\n"), std::wstring::npos);
  EXPECT_NE(Block(literal, {}).find(L"Device description : \n"), std::wstring::npos);
}

TEST_F(Report, MissingIdentifierIsWrittenAsNull) {
  FakeDevice& device = platform.AddDevice(L"x");
  device.has_id = false;
  EXPECT_NE(Print(device).find("Device ID          : (null)\n"), std::string::npos);
  device.has_id = true;
  device.faults["GetId"] = E_OUTOFMEMORY;
  EXPECT_NE(Print(device).find("Device ID          : (null)\n"), std::string::npos);
}

TEST_F(Report, FailedStateIsNeverJudgedOnWhatTheEndpointLeftBehind) {
  options.filter.states = 0xF;
  FakeDevice& device = platform.AddDevice(L"x");
  device.faults["GetState"] = kDeviceInvalidated;
  EXPECT_EQ(Print(device), "");
  EXPECT_TRUE(device.activate_iids.empty());
}

TEST_F(Report, StoreThatCannotBeOpenedLeavesAllThreeUnknown) {
  FakeDevice& device = platform.AddDevice(L"x");
  device.faults["OpenPropertyStore"] = E_ACCESSDENIED;
  EXPECT_EQ(Print(device), Block("{0.0.0.00000000}.{x}", "Unknown", "Unknown", "Unknown", "Active", "Stereo"));
  device.faults.clear();
  device.hand_back_nothing["OpenPropertyStore"] = true;
  EXPECT_EQ(Print(device), Block("{0.0.0.00000000}.{x}", "Unknown", "Unknown", "Unknown", "Active", "Stereo"));
  EXPECT_TRUE(device.store.keys_read.empty());
}

TEST_F(Report, EachFailedPropertyIsUnknownAndWhatItLeftIsFreed) {
  FakeDevice& device = platform.AddDevice(L"x");
  device.store.leave_text_on_failure = true;
  device.store.faults["GetValue#1"] = E_FAIL;  // the adapter name
  EXPECT_EQ(Print(device), Block("{0.0.0.00000000}.{x}", "x (Speakers)", "Unknown", "x", "Active", "Stereo"));
}

TEST_F(Report, ProbeMessagesComeBeforeTheBlockAndTwoEndpointsGiveTwoBlocks) {
  FakeDevice& broken = platform.AddDevice(L"broken");
  broken.faults["Activate"] = kDeviceInvalidated;
  FakeDevice& fine = platform.AddDevice(L"fine");
  fine.mix_format = ExtensibleMix(1);
  std::string expected = EveryRow("Couldn't activate Device: [0x88890004]");
  expected += Block("{0.0.0.00000000}.{broken}", "broken (Speakers)", "broken Adapter", "broken", "Active", "Unknown");
  expected += Block("{0.0.0.00000000}.{fine}", "fine (Speakers)", "fine Adapter", "fine", "Active", "Mono");
  CapturedOutput output;
  ASSERT_EQ(platform.RunListing(), 0);
  EXPECT_EQ(output.Text(), "====== Found 2 audio devices ======\n" + expected);
}

TEST_F(Report, TextOutsideAsciiReachesTheOutputInTheLocalesEncoding) {
  ASSERT_NE(std::setlocale(LC_ALL, "English_United States.1252"), nullptr);
  FakeDevice& device = platform.AddDevice(L"x");
  device.SetNames(L"M\u00E4\u00DFe", L"\u30B9\u30D4-X", L"\u03A9 plain");
  const std::string text = Print(device);
  std::setlocale(LC_ALL, "C");
  EXPECT_NE(text.find("Device name        : M\xE4\xDF" "e\n"), std::string::npos);
  EXPECT_NE(text.find("Adapter name       : ?" "?-X\n"), std::string::npos);
  // The locale's best fit may stand in for a character it lacks; either way the rest is intact.
  const bool best_fit = text.find("Device description : O plain\n") != std::string::npos;
  const bool replaced = text.find("Device description : ? plain\n") != std::string::npos;
  EXPECT_TRUE(best_fit || replaced) << text;
  EXPECT_NE(text.find("Current format     : Stereo\n\n"), std::string::npos);
}

}  // namespace
