// The command line and the listing runs.
#pragma once

#include "platform/core_audio.h"
#include "platform/handles.h"
#include "report/report.h"

#include <cstdint>
#include <functional>
#include <vector>

// What the options on the command line ask for. State words are not options:
// they go to the StateMask.
struct Options {
  bool json = false;
  bool no_pause = false;
  bool render = false;
  bool capture = false;
  bool details = false;
  bool formats = false;
  bool help = false;
  bool version = false;
  bool state_word_given = false;
  EndpointChoice choice;  // --id and --name
  bool watch = false;
  std::uint32_t events = 0;   // --events: 0 when not given
  std::uint32_t timeout = 0;  // --timeout in seconds: 0 when not given
};

// The command line as the platform has it, in UTF-16, where every character
// survives: the same arguments as argv, or null when it cannot be had.
using WideArguments = std::function<wchar_t**()>;

// Folds each argument as a state word is folded, then adds a state word's bit
// to the StateMask or sets the option it names. An option that takes a value
// takes the next argument, or what follows its "=", as it stands: from
// wide_argv when given (asked for only then), otherwise from argv in the ANSI
// code page. False at the first word that is neither, and for a value that is
// missing or empty; the words after it are not looked at. False too for
// --events or --timeout without --watch.
bool ParseArguments(int argc, char* argv[], Options& options, const WideArguments& wide_argv = {});
// The same, for a caller that has no use for the options.
bool ParseArguments(int argc, char* argv[]);

// The three usage lines, as shown for a word that is not understood.
void PrintHelp();
// The usage lines, an empty line, then one line per option.
void PrintOptionsHelp();

// The flows the listing covers, in the order they are listed.
std::vector<EDataFlow> ListedFlows(const Options& options);

// Lists the endpoints in the StateMask's states as text and runs the pause
// (unless --no-pause). 0 when the listing completed, -1 when the endpoints
// could not be listed. The enumerator comes from create_instance; main passes
// CoCreateInstance. The first form lists playback endpoints, as with no option.
int RunListing(CreateInstanceFunction create_instance, void (*pause)());
int RunListing(const Options& options, CreateInstanceFunction create_instance, void (*pause)());

// The same endpoints as one JSON document; never pauses. 0, or -1 with an
// error document when the endpoints could not be listed.
int RunJsonListing(const Options& options, CreateInstanceFunction create_instance);

// Everything main does once COM is initialised: reads the command line into
// the StateMask and the options, then shows help or the version, or runs a
// listing.
int RunCommandLine(int argc, char* argv[], CreateInstanceFunction create_instance, void (*pause)(),
                   const WideArguments& wide_argv = {});

// Runs the command interpreter's "pause".
void Pause();

// The steps both listings take. Each answers with the platform's result; a
// success that hands back no object is E_POINTER.
HRESULT CreateEnumerator(CreateInstanceFunction create_instance, ComHandle<IMMDeviceEnumerator>& enumerator);
HRESULT EnumerateEndpoints(IMMDeviceEnumerator& enumerator, EDataFlow flow,
                           ComHandle<IMMDeviceCollection>& collection);
// The number of endpoints, or 0 when the collection cannot say: an undefined
// count must not be walked.
UINT EndpointCount(IMMDeviceCollection& collection);
