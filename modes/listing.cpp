#include "modes/modes.h"

#include "platform/endpoints.h"
#include "readers/reader.h"
#include "text/output.h"
#include "text/progress.h"
#include "views/views.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

int ReportFailure(std::string_view prefix, HRESULT result) {
  WriteLine(MessageText(prefix, result));
  return -1;
}

// Reads what the options add to an endpoint already let through, then
// prints what the probe had to say and the block.
void PrintBlock(EndpointReader& reader, const Options& options, std::size_t position, std::size_t count) {
  reader.ProbeLayout();
  if (options.details) {
    reader.ReadDetails();
  }
  if (options.formats) {
    // The reading is the slow part of the block, and nothing is printed while
    // the progress line shows.
    ShowProbingProgress(position, count);
    reader.ReadFormats();
    EraseProgress();
  }
  if (options.sessions) {
    reader.ReadSessions();
  }
  EndpointSnapshot endpoint = reader.TakeSnapshot();
  options.filter.ChooseSessions(endpoint);
  for (const std::string& message : ProbeMessages(endpoint)) {
    WriteLine(message);
  }
  WriteWide(Block(endpoint, BlockParts{options.details, options.formats, options.sessions}));
}

void ListFlow(IMMDeviceCollection& collection, EDataFlow flow, const Options& options, const RoleIds& defaults) {
  const UINT count = EndpointCount(collection);
  if (options.filter.Chooses()) {
    // The header counts the endpoints chosen, so they are all read and
    // chosen before anything is printed.
    std::vector<std::unique_ptr<EndpointReader>> chosen;
    ForEachEndpoint(collection, count, [&](UINT, ComHandle<IMMDevice> device) {
      auto reader = std::make_unique<EndpointReader>(std::move(device), flow);
      reader->ReadIdentity();
      if (options.filter.Keeps(reader->Snapshot(), defaults)) {
        chosen.push_back(std::move(reader));
      }
    });
    WriteLine(HeaderLine(chosen.size(), flow));
    for (std::size_t at = 0; at < chosen.size(); ++at) {
      PrintBlock(*chosen[at], options, at + 1, chosen.size());
    }
    return;
  }
  // Without a chooser the header counts what the collection holds, as it
  // always has, and each block follows as soon as it is read.
  WriteLine(HeaderLine(count, flow));
  ForEachEndpoint(collection, count, [&](UINT index, ComHandle<IMMDevice> device) {
    ListEndpoint(std::move(device), flow, options, index + 1, count);
  });
}

}  // namespace

void ListEndpoint(ComHandle<IMMDevice> device, EDataFlow flow, const Options& options, std::size_t position,
                  std::size_t count) {
  EndpointReader reader(std::move(device), flow);
  reader.ReadIdentity();
  if (options.filter.Lets(reader.Snapshot().state.value_or(0))) {
    PrintBlock(reader, options, position, count);
  }
}

int RunListing(const Options& options, CreateInstanceFunction create_instance, void (*pause)()) {
  ComHandle<IMMDeviceEnumerator> enumerator;
  HRESULT result = CreateEnumerator(create_instance, enumerator);
  if (FAILED(result)) {
    return ReportFailure("Couldn't create Device Enumerator: [0x", result);
  }

  // Every collection is kept until after the pause and released before the
  // enumerator, as a listing of one flow always has been.
  const std::vector<EDataFlow>& flows = options.filter.flows;
  std::vector<ComHandle<IMMDeviceCollection>> collections(flows.size());
  for (std::size_t listed = 0; listed < flows.size(); ++listed) {
    // The flow's defaults are asked for only by the chooser that needs them.
    const RoleIds defaults =
        options.filter.default_roles.empty() ? RoleIds() : ReadDefaultIds(*enumerator.Get(), flows[listed]);
    ComHandle<IMMDeviceCollection>& collection = collections[listed];
    result = EnumerateEndpoints(*enumerator.Get(), flows[listed], options.filter.states, collection);
    if (FAILED(result)) {
      return ReportFailure("Couldn't enumerate: [0x", result);
    }
    ListFlow(*collection.Get(), flows[listed], options, defaults);
  }

  if (!options.no_pause) {
    pause();
  }
  return 0;
}

void Pause() {
  // The command interpreter writes its prompt straight to the console or
  // file, past the C runtime's buffer: what the buffer holds goes out first.
  static_cast<void>(std::fflush(stdout));
  // The pause is the command interpreter's own, by design; its status is of no use.
  static_cast<void>(std::system("pause"));  // NOLINT(cert-env33-c)
}
