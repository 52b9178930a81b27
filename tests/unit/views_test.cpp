// The views on literal snapshots and events, with no platform behind them,
// and the tables they show: every entry, and the first value past the end.
#include "readers/reader.h"
#include "text/json.h"
#include "text/progress.h"
#include "text/text.h"
#include "views/views.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr HRESULT kInvalidated = static_cast<HRESULT>(0x88890004);

// 2025-03-01T09:15:02.250Z
const std::chrono::system_clock::time_point kTime{std::chrono::milliseconds(1740820502250)};

EndpointSnapshot Speakers() {
  EndpointSnapshot endpoint;
  endpoint.flow = eRender;
  endpoint.id = L"{0.0.0.00000000}.{spk}";
  endpoint.state = DEVICE_STATE_UNPLUGGED;
  endpoint.friendly_name = L"Speakers";
  endpoint.description = L"";
  endpoint.layout = &kChannelLayouts[1];
  return endpoint;
}

TEST(BlockView, ProbeMessagesAreTheLayoutsFailuresAloneAndTheBlockShowsWhatWasRead) {
  EndpointSnapshot endpoint = Speakers();
  endpoint.failures = {{Part::kEndpoint, "GetValue", E_FAIL},
                       {Part::kLayout, "Activate", kInvalidated},
                       {Part::kDetails, "Activate", E_FAIL},
                       {Part::kLayout, "GetMixFormat", E_OUTOFMEMORY},
                       {Part::kFormats, "Activate", E_FAIL}};
  EXPECT_EQ(ProbeMessages(endpoint), (std::vector<std::string>{"Couldn't activate Device: [0x88890004]",
                                                               "Couldn't acquire Wave Format [0x8007000E]"}));
  EXPECT_EQ(Block(endpoint, {}), L"===== Device =====\n"
                                 L"Device ID          : {0.0.0.00000000}.{spk}\n"
                                 L"Device name        : Speakers\n"
                                 L"Adapter name       : Unknown\n"
                                 L"Device description : \n"
                                 L"Device state       : Unplugged\n"
                                 L"Current format     : Stereo\n\n");
  const EndpointSnapshot nothing;
  EXPECT_NE(Block(nothing, {}).find(L"Device ID          : (null)\nDevice name        : Unknown\n"), std::wstring::npos);
  EXPECT_NE(Block(nothing, {}).find(L"Device state       : Unknown\nCurrent format     : Unknown\n\n"),
            std::wstring::npos);
  // Without a grid, the formats lines say why from the formats' own failure.
  EXPECT_EQ(FormatLines(endpoint), L"Shared formats     : Couldn't activate Device: [0x80004005]\n"
                                   L"Exclusive formats  : Couldn't activate Device: [0x80004005]\n");
}

TEST(BlockView, DefaultForIsTheLastDetailsLineWithTheRolesInTheDocumentsWords) {
  const EndpointSnapshot speakers = Speakers();
  const std::wstring lines = DetailLines(speakers, {*speakers.id, L"{other}", *speakers.id});
  EXPECT_EQ(lines.substr(lines.rfind(L"Default")), L"Default for        : console, communications\n");
  EXPECT_EQ(DetailLines(speakers, {L"{other}", L"", L""}).substr(lines.rfind(L"Default")),
            L"Default for        : none\n");
}

TEST(BriefView, MarksStateFlowAndNameInColumnsAlignedOverEveryLine) {
  const EndpointSnapshot speakers = Speakers();
  EndpointSnapshot microphone;
  microphone.flow = eCapture;
  microphone.id = L"{mic}";
  microphone.state = DEVICE_STATE_ACTIVE;
  microphone.friendly_name = L"\u30DE\u30A4\u30AF";  // six columns on a console
  const EndpointSnapshot nothing;
  const RoleIds render = {*speakers.id, L"{other}", *speakers.id};
  const RoleIds capture = {L"", *microphone.id, L""};
  EXPECT_EQ(BriefLines({{&speakers, &render}, {&microphone, &capture}, {&nothing, &capture}}, true),
            (std::vector<std::wstring>{L"C-K  unplugged  render   Speakers  {0.0.0.00000000}.{spk}",
                                       L"-M-  active     capture  \u30DE\u30A4\u30AF    {mic}",
                                       L"---  unknown    unknown  Unknown   (null)"}));
  EXPECT_EQ(BriefLines({{&microphone, &capture}}, false),
            std::vector<std::wstring>{L"-M-  active  \u30DE\u30A4\u30AF  {mic}"});
}

TEST(BriefView, TheWidestNameByItsWidthAsShownAndLinesCutToTheConsole) {
  const EndpointSnapshot speakers = Speakers();
  EndpointSnapshot kana = Speakers();
  kana.id = L"{kana}";
  kana.friendly_name = L"\u30B9\u30D4\u30FC\u30AB\u30FC";  // five characters, ten columns on a console
  const RoleIds none;
  const std::vector<BriefEntry> entries = {{&speakers, &none}, {&kana, &none}};
  EXPECT_EQ(BriefLines(entries, false),
            (std::vector<std::wstring>{L"---  unplugged  Speakers    {0.0.0.00000000}.{spk}",
                                       L"---  unplugged  \u30B9\u30D4\u30FC\u30AB\u30FC  {kana}"}));
  // Written in a code page without kana, each is one "?", one column.
  const TextWidthFunction as_question_marks = [](std::wstring_view text) -> std::size_t { return text.size(); };
  EXPECT_EQ(BriefLines(entries, false, as_question_marks)[1],
            L"---  unplugged  \u30B9\u30D4\u30FC\u30AB\u30FC     {kana}");
  // Cut to the console: the identifier goes first, a wide character whole or not at all.
  EXPECT_EQ(BriefLines(entries, false, DisplayWidth, 32),
            (std::vector<std::wstring>{L"---  unplugged  Speakers    {...", L"---  unplugged  \u30B9\u30D4\u30FC\u30AB\u30FC  {..."}));
  EXPECT_EQ(BriefLines(entries, false, DisplayWidth, 24)[1], L"---  unplugged  \u30B9\u30D4...");
  EXPECT_EQ(BriefLines(entries, false, DisplayWidth, 50)[0], L"---  unplugged  Speakers    {0.0.0.00000000}.{spk}");
  EXPECT_EQ(BriefLines(entries, false, DisplayWidth, 49)[0], L"---  unplugged  Speakers    {0.0.0.00000000}.{...");
}

TEST(BlockView, EverySpeakerPositionByNameAndTheFirstBitPastThemByValue) {
  const char* const names[] = {"Front Left",       "Front Right",     "Front Center",    "Low Frequency",
                               "Back Left",        "Back Right",      "Front Left of Center", "Front Right of Center",
                               "Back Center",      "Side Left",       "Side Right",      "Top Center",
                               "Top Front Left",   "Top Front Center", "Top Front Right", "Top Back Left",
                               "Top Back Center",  "Top Back Right"};
  EndpointSnapshot endpoint;
  for (unsigned bit = 0; bit <= std::size(names); ++bit) {
    endpoint.physical_speakers = 1U << bit;
    const std::string name = bit < std::size(names) ? names[bit] : "0x00040000";
    const std::wstring line = L"Speakers           : " + std::wstring(name.begin(), name.end()) + L"\n";
    EXPECT_NE(DetailLines(endpoint).find(line), std::wstring::npos) << bit;
  }
}

TEST(BlockView, AFormatsLineMayEndAtColumn79ButNot80) {
  const std::string lead = "Shared formats     : Mono                pcm16     ";
  EndpointSnapshot endpoint;
  endpoint.formats = FormatSupport{};
  // "10" and thirteen " 1": 79 characters on one line.
  std::vector<std::uint32_t> rates(14, 1000);
  rates[0] = 10000;
  endpoint.formats->shared.entries = {{&kChannelLayouts[0], "pcm16", rates}};
  std::string line = lead + "10";
  for (int rate = 1; rate < 14; ++rate) {
    line += " 1";
  }
  ASSERT_EQ(line.size(), 79U);
  EXPECT_EQ(FormatLines(endpoint).substr(0, 80), std::wstring(line.begin(), line.end()) + L"\n");
  // Fifteen "1" would end at 80: the last goes under the first.
  endpoint.formats->shared.entries[0].sample_rates.assign(15, 1000);
  line = lead + "1";
  for (int rate = 1; rate < 14; ++rate) {
    line += " 1";
  }
  line += "\n" + std::string(lead.size(), ' ') + "1\n";
  EXPECT_EQ(FormatLines(endpoint).substr(0, line.size()), std::wstring(line.begin(), line.end()));
}

TEST(DocumentView, AnEntryWithNothingReadHasEveryMemberAndEachIsNull) {
  EXPECT_EQ(DumpJson(DocumentEntry(EndpointSnapshot{}, RoleIds{}, {true, false}), -1),
            R"({"id":null,"flow":null,"state":"unknown","state_code":0,"friendly_name":null,"adapter_name":null,)"
            R"("description":null,"default_for":[],"current_layout":null,"mix_format":null,"form_factor":null,)"
            R"("physical_speakers":null,"device_format":null,"container_id":null,"volume":null,"peak":null,)"
            R"("formats":null,"errors":[]})");
  EXPECT_FALSE(DocumentEntry(EndpointSnapshot{}, RoleIds{}, {}).contains("formats"));
}

TEST(DocumentView, DefaultRolesByIdentifierAndEachFailureWithWhatTellsItApart) {
  EndpointSnapshot endpoint = Speakers();
  endpoint.failures = {CallFailure{Part::kEndpoint, "GetValue", E_FAIL}.AboutProperty("adapter_name"),
                       CallFailure{Part::kLayout, "Activate", kInvalidated}.OfInterface("IAudioClient"),
                       CallFailure{Part::kDetails, "Activate", E_FAIL}.OfInterface("IAudioMeterInformation"),
                       CallFailure{Part::kFormats, "IsFormatSupported", E_OUTOFMEMORY}.InMode("shared")};
  const Json entry = DocumentEntry(endpoint, {L"{0.0.0.00000000}.{spk}", L"{other}", *endpoint.id}, {});
  EXPECT_EQ(entry["default_for"], Json({"console", "communications"}));
  EXPECT_EQ(entry["errors"], Json::parse(R"([
    {"call": "GetValue", "code": "0x80004005", "property": "adapter_name"},
    {"call": "Activate", "code": "0x88890004"},
    {"call": "Activate", "code": "0x80004005", "interface": "IAudioMeterInformation"},
    {"call": "IsFormatSupported", "mode": "shared", "code": "0x8007000E"}])"));
  // An endpoint without an identifier is no role's default, even where a role has none.
  endpoint.id.reset();
  EXPECT_EQ(DocumentEntry(endpoint, {}, {})["default_for"], Json::array());
}

TEST(SessionView, EachSessionByItsBestNameNoneAndWhyTheyCouldNotBeRead) {
  SessionFacts player;
  player.process_id = 4312;
  player.process_name = L"firefox.exe";
  player.display_name = L"Firefox";
  player.state = 1;
  player.volume = 1.0F;
  player.peak = 0.42F;
  SessionFacts muted = player;
  muted.process_name.reset();
  muted.volume = 0.305F;
  muted.muted = true;
  SessionFacts system;
  system.system_sounds = true;
  EndpointSnapshot endpoint;
  endpoint.sessions = {player, muted, system, SessionFacts{}};
  EXPECT_EQ(SessionLines(endpoint),
            L"Session            : firefox.exe (pid 4312), active, volume 100 %, peak 0.42\n"
            L"Session            : Firefox (pid 4312), active, volume 31 %, muted, peak 0.42\n"
            L"Session            : System sounds (pid unknown), unknown, volume unknown, peak unknown\n"
            L"Session            : Unknown (pid unknown), unknown, volume unknown, peak unknown\n");
  endpoint.sessions->clear();
  EXPECT_EQ(SessionLines(endpoint), L"Session            : none\n");
  endpoint.sessions.reset();
  endpoint.failures = {{Part::kSessions, "GetSessionEnumerator", E_NOTIMPL},
                       CallFailure{Part::kSessions, "GetDisplayName", E_FAIL}.OfSession(0)};
  EXPECT_NE(Block(endpoint, {false, false, true})
                .find(L"Current format     : Unknown\nSession            : unknown (GetSessionEnumerator [0x80004001])\n\n"),
            std::wstring::npos);
  const Json entry = DocumentEntry(endpoint, {}, {false, true});
  EXPECT_EQ(entry["sessions"], nullptr);
  EXPECT_EQ(entry["errors"][1], Json::parse(R"({"call": "GetDisplayName", "session": 0, "code": "0x80004005"})"));
  EXPECT_FALSE(DocumentEntry(endpoint, {}, {}).contains("sessions"));
}

TEST(Vocabulary, EveryFormFactorAndTheFirstNumberPastTheList) {
  const std::pair<const char*, const char*> expected[] = {
      {"remote-network-device", "Remote network device"}, {"speakers", "Speakers"},
      {"line-level", "Line level"},                       {"headphones", "Headphones"},
      {"microphone", "Microphone"},                       {"headset", "Headset"},
      {"handset", "Handset"},                             {"digital-passthrough", "Digital passthrough"},
      {"spdif", "S/PDIF"},                                {"digital-display", "Digital display"},
      {"unknown", "Unknown"},                             {"unknown", "Unknown"}};
  for (std::uint32_t number = 0; number < std::size(expected); ++number) {
    EXPECT_STREQ(FormFactorWord(number), expected[number].first) << number;
    EXPECT_STREQ(FormFactorName(number), expected[number].second) << number;
  }
  EXPECT_STREQ(FormFactorWord(0xFFFFFFFF), "unknown");
  const char* const session_states[] = {"inactive", "active", "expired", "unknown"};
  for (std::uint32_t state = 0; state < std::size(session_states); ++state) {
    EXPECT_STREQ(SessionStateWord(state), session_states[state]);
  }
}

EventLine Line(EventKind kind) {
  EventLine line;
  line.kind = kind;
  line.time = kTime;
  line.flow = eCapture;
  line.id = L"{mic}";
  line.friendly_name = L"Mic";
  line.state = DEVICE_STATE_UNPLUGGED;
  line.previous_state = DEVICE_STATE_ACTIVE;
  line.role = eCommunications;
  line.property = kPkeyDeviceDeviceDesc;
  return line;
}

TEST(EventView, EachKindAsJsonAndAsText) {
  const std::string head = R"({"time":"2025-03-01T09:15:02.250Z","event":")";
  const std::string endpoint = R"(","flow":"capture","id":"{mic}","friendly_name":"Mic")";
  const struct {
    EventKind kind;
    const char* word;
    const char* tail;
    const wchar_t* what;
  } cases[] = {
      {EventKind::kPresent, "present", R"(,"state":"unplugged"})", L"present   capture  Unplugged                 "},
      {EventKind::kAdded, "added", R"(,"state":"unplugged"})", L"added     capture  Unplugged                 "},
      {EventKind::kRemoved, "removed", "}", L"removed   capture  Removed (was Active)      "},
      {EventKind::kState, "state", R"(,"state":"unplugged","previous_state":"active"})",
       L"state     capture  Unplugged (was Active)    "},
      {EventKind::kDefault, "default", R"(,"role":"communications"})", L"default   capture  default for communications"},
      {EventKind::kProperty, "property", R"(,"property":"description"})",
       L"property  capture  Device description changed"},
  };
  for (const auto& expected : cases) {
    EXPECT_EQ(JsonLine(Line(expected.kind)), head + expected.word + endpoint + expected.tail);
    // After the local time: the columns, the name and the identifier.
    EXPECT_EQ(TextLine(Line(expected.kind)).substr(14), std::wstring(expected.what) + L"  Mic                           {mic}");
  }
  EventLine gone = Line(EventKind::kDefault);
  gone.id.reset();
  gone.friendly_name.reset();
  gone.flow.reset();
  EXPECT_EQ(JsonLine(gone), head + R"(default","flow":null,"id":null,"friendly_name":null,"role":"communications"})");
  EXPECT_EQ(TextLine(gone).substr(14), L"default   unknown  no default for communications");
}

TEST(Clock, AFixedMomentInUtcAndInAGivenZone) {
  EXPECT_EQ(UtcText(kTime), "2025-03-01T09:15:02.250Z");
  TIME_ZONE_INFORMATION east{};
  east.Bias = -120;  // two hours ahead of UTC, no daylight saving
  EXPECT_EQ(LocalClockText(kTime, &east), "11:15:02.250");
  TIME_ZONE_INFORMATION west{};
  west.Bias = 600;
  EXPECT_EQ(LocalClockText(kTime, &west), "23:15:02.250");
}

std::wstring* progress_text = nullptr;

BOOL WINAPI KeepProgress(HANDLE, const VOID* text, DWORD units, LPDWORD written, LPVOID) {
  progress_text->append(static_cast<const wchar_t*>(text), units);
  *written = units;
  return TRUE;
}

TEST(Progress, AShorterTextCoversAllOfTheLongerOneBeforeIt) {
  std::wstring written;
  progress_text = &written;
  SelectProgress(reinterpret_cast<HANDLE>(0x2222), KeepProgress);
  ShowProbingProgress(10, 10);
  ShowProbingProgress(1, 2);
  EraseProgress();
  SelectProgress(nullptr, nullptr);
  EXPECT_EQ(written, L"\rProbing formats: endpoint 10 of 10\rProbing formats: endpoint 1 of 2  \r" +
                         std::wstring(34, L' ') + L"\r");
}

}  // namespace
