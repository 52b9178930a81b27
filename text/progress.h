// A line on standard error that says how far a slow step has come. It is
// shown only when standard error is a console, as UTF-16, rewritten in place
// and erased when done, so that none of it reaches a file, a pipe or
// standard output.
#pragma once

#include "text/output.h"

#include <cstddef>

// Whether standard error is a console is decided at the first progress, so
// that a run which shows none never asks. Here the caller decides instead: a
// null writer means no console. Tests hand in a fake writer here.
void SelectProgress(HANDLE console, ConsoleWriteFunction write);

// "Probing formats: endpoint N of M", in place of what the line showed.
void ShowProbingProgress(std::size_t position, std::size_t count);
// Blanks what the line shows and leaves the cursor at its start, so that
// what is printed next starts on a clean line; nothing when nothing is shown.
void EraseProgress();
