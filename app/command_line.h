// The command line: its words into options, help and the version, and the run they ask for.
#pragma once

#include "modes/options.h"
#include "platform/core_audio.h"

#include <functional>
#include <string>

// The command line as the platform has it, in UTF-16, where every character
// survives: the same arguments as argv, or null when it cannot be had.
using WideArguments = std::function<wchar_t**()>;

// Folds each argument as a state word is folded, then adds a state word's bit
// to the filter's states or sets the option it names. An option that takes a
// value takes the next argument, or what follows its "=", as it stands: from
// wide_argv when given (asked for only then), otherwise from argv in the ANSI
// code page. False at the first word that is neither, and for a value that is
// missing, empty or out of range; the words after it are not looked at. False
// too for --events or --timeout without --watch. With a reason given, a false
// leaves there why, naming the word as typed and what was expected. Without a
// state word the states are the active one only.
bool ParseArguments(int argc, char* argv[], Options& options, const WideArguments& wide_argv = {},
                    std::wstring* reason = nullptr);

// The three usage lines, as shown for a word that is not understood.
void PrintHelp();
// The usage lines, an empty line, then one line per option.
void PrintOptionsHelp();

// Everything main does once COM is initialised: reads the command line into
// the options, then shows help or the version, or runs what they ask for.
int RunCommandLine(int argc, char* argv[], CreateInstanceFunction create_instance, void (*pause)(),
                   const WideArguments& wide_argv = {});

// Shows a message to someone at the desktop; trelmow.exe passes a message box.
using ShowMessageFunction = void (*)(const std::wstring& text);

// The same for trelmow.exe, which has no console: never pauses, and when the
// run ends with a status other than 0, shows what it wrote to standard error
// and the status through show_message, unless --quiet was given.
int RunWindowed(int argc, char* argv[], CreateInstanceFunction create_instance, ShowMessageFunction show_message,
                const WideArguments& wide_argv = {});
