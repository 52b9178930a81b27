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

// Reads what the details, formats and sessions add to an endpoint already let through.
void ReadParts(EndpointReader& reader, const Options& options, std::size_t position, std::size_t count) {
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
}

// The endpoint as it is shown: with --app, only the sessions it chooses.
EndpointSnapshot Shown(EndpointReader& reader, const EndpointFilter& filter) {
  EndpointSnapshot endpoint = reader.TakeSnapshot();
  filter.ChooseSessions(endpoint);
  return endpoint;
}

std::size_t SessionCount(const EndpointSnapshot& endpoint) {
  return endpoint.sessions ? endpoint.sessions->size() : 0;
}

// Probes the layout and reads the parts, then prints what the probe had to
// say and the block. The number of sessions shown.
std::size_t PrintBlock(EndpointReader& reader, const Options& options, const RoleIds& defaults, std::size_t position,
                       std::size_t count) {
  reader.ProbeLayout();
  ReadParts(reader, options, position, count);
  const EndpointSnapshot endpoint = Shown(reader, options.filter);
  for (const std::string& message : ProbeMessages(endpoint)) {
    WriteLine(message);
  }
  WriteWide(Block(endpoint, BlockParts{options.details, options.formats, options.sessions}, defaults));
  return SessionCount(endpoint);
}

// The flow's endpoints the filter keeps, in the collection's order, each read
// as far as its identity.
std::vector<std::unique_ptr<EndpointReader>> KeptEndpoints(IMMDeviceCollection& collection, UINT count, EDataFlow flow,
                                                           const EndpointFilter& filter, const RoleIds& defaults) {
  std::vector<std::unique_ptr<EndpointReader>> kept;
  ForEachEndpoint(collection, count, [&](UINT, ComHandle<IMMDevice> device) {
    auto reader = std::make_unique<EndpointReader>(std::move(device), flow);
    reader->ReadIdentity();
    if (filter.Keeps(reader->Snapshot(), defaults)) {
      kept.push_back(std::move(reader));
    }
  });
  return kept;
}

// What a listing showed, for its status.
struct Tally {
  std::size_t endpoints = 0;
  std::size_t sessions = 0;
};

// Prints the flow's header and blocks; the number of endpoints chosen, or
// without a chooser the number the collection holds, and of sessions shown.
Tally ListFlow(IMMDeviceCollection& collection, EDataFlow flow, const Options& options, const RoleIds& defaults) {
  const UINT count = EndpointCount(collection);
  if (options.filter.Chooses()) {
    // The header counts the endpoints chosen, so they are all read and
    // chosen before anything is printed.
    const auto chosen = KeptEndpoints(collection, count, flow, options.filter, defaults);
    WriteLine(HeaderLine(chosen.size(), flow));
    Tally shown{chosen.size()};
    for (std::size_t at = 0; at < chosen.size(); ++at) {
      shown.sessions += PrintBlock(*chosen[at], options, defaults, at + 1, chosen.size());
    }
    return shown;
  }
  // Without a chooser the header counts what the collection holds, as it
  // always has, and each block follows as soon as it is read.
  WriteLine(HeaderLine(count, flow));
  Tally shown{count};
  ForEachEndpoint(collection, count, [&](UINT index, ComHandle<IMMDevice> device) {
    shown.sessions += ListEndpoint(std::move(device), flow, options, index + 1, count, defaults);
  });
  return shown;
}

// A flow of a brief listing, read before anything is printed, since the
// columns are aligned over every flow listed.
struct BriefFlow {
  EDataFlow flow = eRender;
  std::size_t header_count = 0;
  RoleIds defaults;
  std::vector<EndpointSnapshot> endpoints;
};

// No layout probe: the line has no layout to show.
BriefFlow ReadBriefFlow(IMMDeviceCollection& collection, EDataFlow flow, const Options& options, RoleIds defaults) {
  const UINT count = EndpointCount(collection);
  const auto kept = KeptEndpoints(collection, count, flow, options.filter, defaults);
  BriefFlow read{flow, options.filter.Chooses() ? kept.size() : count, std::move(defaults), {}};
  for (std::size_t at = 0; at < kept.size(); ++at) {
    ReadParts(*kept[at], options, at + 1, kept.size());
    read.endpoints.push_back(Shown(*kept[at], options.filter));
  }
  return read;
}

// Each flow's header and its endpoints' lines; the parts' lines, when asked
// for, under each line, with an empty line after them as after a block.
void PrintBrief(const std::vector<BriefFlow>& flows, const Options& options) {
  std::vector<BriefEntry> entries;
  for (const BriefFlow& flow : flows) {
    for (const EndpointSnapshot& endpoint : flow.endpoints) {
      entries.push_back({&endpoint, &flow.defaults});
    }
  }
  // On a console the lines fit its window; a line as wide as the window would
  // leave the cursor on the next line, and its line end an empty one.
  const std::size_t columns = ConsoleColumns();
  const std::vector<std::wstring> lines =
      BriefLines(entries, options.filter.flows.size() > 1, OutputIsConsole() ? DisplayWidth : WrittenWidth,
                 columns > 1 ? columns - 1 : 0);
  auto line = lines.begin();
  for (const BriefFlow& flow : flows) {
    WriteLine(HeaderLine(flow.header_count, flow.flow));
    for (const EndpointSnapshot& endpoint : flow.endpoints) {
      std::wstring text = *line++ + L'\n';
      if (options.details) {
        text += DetailLines(endpoint, flow.defaults);
      }
      if (options.formats) {
        text += FormatLines(endpoint);
      }
      if (options.sessions) {
        text += SessionLines(endpoint);
      }
      if (options.details || options.formats || options.sessions) {
        text += L'\n';
      }
      WriteWide(text);
    }
  }
}

}  // namespace

std::size_t ListEndpoint(ComHandle<IMMDevice> device, EDataFlow flow, const Options& options, std::size_t position,
                         std::size_t count, const RoleIds& defaults) {
  EndpointReader reader(std::move(device), flow);
  reader.ReadIdentity();
  if (!options.filter.Lets(reader.Snapshot().state.value_or(0))) {
    return 0;
  }
  return PrintBlock(reader, options, defaults, position, count);
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
  std::vector<BriefFlow> brief;
  Tally listed;
  for (std::size_t at = 0; at < flows.size(); ++at) {
    // Only the lines that show them and the chooser that needs them ask for
    // the default endpoints: a plain listing makes no call it did not make before.
    RoleIds defaults;
    if (options.brief || options.details || !options.filter.default_roles.empty()) {
      defaults = ReadDefaultIds(*enumerator.Get(), flows[at]);
    }
    ComHandle<IMMDeviceCollection>& collection = collections[at];
    result = EnumerateEndpoints(*enumerator.Get(), flows[at], options.filter.states, collection);
    if (FAILED(result)) {
      // What was read is shown, as the flows before it would have been.
      PrintBrief(brief, options);
      return ReportFailure("Couldn't enumerate: [0x", result);
    }
    if (options.brief) {
      brief.push_back(ReadBriefFlow(*collection.Get(), flows[at], options, std::move(defaults)));
      listed.endpoints += brief.back().endpoints.size();
      for (const EndpointSnapshot& endpoint : brief.back().endpoints) {
        listed.sessions += SessionCount(endpoint);
      }
    } else {
      const Tally flow = ListFlow(*collection.Get(), flows[at], options, defaults);
      listed.endpoints += flow.endpoints;
      listed.sessions += flow.sessions;
    }
  }
  PrintBrief(brief, options);

  if (!options.no_pause) {
    pause();
  }
  // Choosers that chose nothing: a script can test for its device, or
  // whether a program is playing, by the status.
  const bool none_chosen = options.filter.Chooses() && listed.endpoints == 0;
  return none_chosen || (!options.filter.apps.empty() && listed.sessions == 0) ? 1 : 0;
}

void Pause() {
  // The command interpreter writes its prompt straight to the console or
  // file, past the C runtime's buffer: what the buffer holds goes out first.
  static_cast<void>(std::fflush(stdout));
  // The pause is the command interpreter's own, by design; its status is of no use.
  static_cast<void>(std::system("pause"));  // NOLINT(cert-env33-c)
}
