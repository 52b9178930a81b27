// The command line and the listing run.
#pragma once

#include "platform/core_audio.h"

// Folds each argument to a state word and adds its bit to the StateMask.
// False at the first word that is not one of "active", "disabled",
// "unplugged" and "not-present"; the words after it are not looked at.
bool ParseArguments(int argc, char* argv[]);

void PrintHelp();

// Lists the render endpoints in the StateMask's states and runs the pause.
// 0 when the listing completed, -1 when the endpoints could not be listed.
// The enumerator comes from create_instance; main passes CoCreateInstance.
int RunListing(CreateInstanceFunction create_instance, void (*pause)());

// Everything main does once COM is initialised: reads the command line into
// the StateMask, then shows the help text (2) or runs the listing.
int RunCommandLine(int argc, char* argv[], CreateInstanceFunction create_instance, void (*pause)());

// Runs the command interpreter's "pause".
void Pause();
