// Where everything the tool prints goes. A console is given UTF-16 through
// WriteConsoleW, so every name shows as the platform reports it; a file, a
// pipe or NUL gets the bytes scripts already rely on: the locale's code page,
// "?" for what it cannot represent, CRLF line ends.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

using ConsoleWriteFunction = BOOL(WINAPI*)(HANDLE, const VOID*, DWORD, LPDWORD, LPVOID);

// Decides, once at start-up, whether standard output is a console.
void SelectOutput();
// The same decision made by the caller: a null writer means no console.
// Tests hand in a fake writer here.
void SelectOutput(HANDLE console, ConsoleWriteFunction write);

// Whether standard output is a console, as SelectOutput decided.
bool OutputIsConsole();

// Each write answers whether all of the text went out; the listing has no
// use for the answer, a watch stops when its reader has gone away.
// One line of UTF-8 text (a message, the header, help), ended and flushed.
bool WriteLine(std::string_view text);
// UTF-8 text as it stands (the JSON document), flushed.
bool WriteUtf8(std::string_view text);
// Wide text as it stands (a device block), flushed.
bool WriteWide(std::wstring_view text);

// Standard error takes the same two paths. Whether it is a console is asked
// at its first line, so that a run which writes none never asks; here the
// caller decides instead, as for standard output.
void SelectErrorOutput(HANDLE console, ConsoleWriteFunction write);
// One line of wide text on standard error, ended and flushed.
bool WriteErrorLine(std::wstring_view text);
// While into is not null, every line written to standard error is also
// added to it, for a program without a console to show.
void KeepErrorLines(std::wstring* into);

// For a program without a console: standard output and standard error are
// written only where they go to a file or a pipe; anything else (nothing
// at all, or a console the program was given) gets nothing.
void SelectWindowedOutput();

// The columns of the console window standard output shows in; 0 off a console.
std::size_t ConsoleColumns();
