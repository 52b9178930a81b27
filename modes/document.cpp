#include "modes/modes.h"

#include "platform/endpoints.h"
#include "platform/files.h"
#include "readers/reader.h"
#include "text/json.h"
#include "text/output.h"
#include "text/progress.h"
#include "text/text.h"
#include "views/views.h"

#include <chrono>
#include <vector>

namespace {

void WriteDocument(const Json& document) {
  EraseProgress();
  WriteUtf8(DumpJson(document, 2) + "\n");
}

int WriteErrorDocument(std::string_view version, std::chrono::system_clock::time_point read_at, const char* call,
                       HRESULT result, const char* message, bool to_file) {
  if (to_file) {
    WriteErrorLine(Utf8ToWide(MessageText(std::string(message) + ": [0x", result)));
  } else {
    Json document = DocumentHead(version, read_at);
    document.update(ErrorDocument(call, result, message));
    WriteDocument(document);
  }
  return -1;
}

// A saved setup is read back by any tool in any code page: ASCII throughout.
int Save(const std::wstring& file, const Json& document) {
  EraseProgress();
  if (const DWORD error = ReplaceFileWhole(file, DumpJsonAscii(document, 2) + "\n"); error != ERROR_SUCCESS) {
    WriteErrorLine(L"Couldn't write " + file + L": " + SystemMessage(error));
    return -1;
  }
  return 0;
}

}  // namespace

int RunDocument(const Options& options, CreateInstanceFunction create_instance, std::string_view version) {
  ComHandle<IMMDeviceEnumerator> enumerator;
  HRESULT result = CreateEnumerator(create_instance, enumerator);
  if (FAILED(result)) {
    return WriteErrorDocument(version, std::chrono::system_clock::now(), "CoCreateInstance", result,
                              "Couldn't create Device Enumerator", options.save.has_value());
  }

  // The moment the reading starts is the one the document stands for.
  const auto read_at = std::chrono::system_clock::now();
  const std::vector<EDataFlow>& flows = options.filter.flows;
  std::vector<RoleIds> defaults;
  defaults.reserve(flows.size());
  for (const EDataFlow flow : flows) {
    defaults.push_back(ReadDefaultIds(*enumerator.Get(), flow));
  }

  Json endpoints = Json::array();
  std::size_t sessions = 0;
  for (std::size_t listed = 0; listed < flows.size(); ++listed) {
    ComHandle<IMMDeviceCollection> collection;
    result = EnumerateEndpoints(*enumerator.Get(), flows[listed], options.filter.states, collection);
    if (FAILED(result)) {
      return WriteErrorDocument(version, read_at, "EnumAudioEndpoints", result, "Couldn't enumerate",
                                options.save.has_value());
    }
    const UINT count = EndpointCount(*collection.Get());
    ForEachEndpoint(*collection.Get(), count, [&](UINT index, ComHandle<IMMDevice> device) {
      if (options.formats) {
        ShowProbingProgress(index + 1, count);
      }
      EndpointReader reader(std::move(device), flows[listed]);
      reader.ReadIdentity();
      if (!options.filter.Keeps(reader.Snapshot(), defaults[listed])) {
        return;
      }
      reader.ProbeLayout();
      reader.ReadDetails();
      if (options.formats) {
        reader.ReadFormats();
      }
      if (options.sessions) {
        reader.ReadSessions();
      }
      EndpointSnapshot endpoint = reader.TakeSnapshot();
      options.filter.ChooseSessions(endpoint);
      sessions += endpoint.sessions ? endpoint.sessions->size() : 0;
      endpoints.push_back(DocumentEntry(endpoint, defaults[listed], EntryParts{options.formats, options.sessions}));
    });
  }
  const bool none_chosen =
      (options.filter.Chooses() && endpoints.empty()) || (!options.filter.apps.empty() && sessions == 0);
  Json document = DocumentHead(version, read_at);
  document["endpoints"] = std::move(endpoints);
  if (options.save) {
    return Save(*options.save, document);
  }
  WriteDocument(document);
  return none_chosen ? 1 : 0;
}
