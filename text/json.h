// JSON as trelmo writes it, for the document and anything else in JSON.
#pragma once

#include <windows.h>

#include "text/json_fwd.h"

#include <nlohmann/json.hpp>

#include <string>

// The platform's text as a JSON string with every character kept; null for
// no text. Only a surrogate with no partner, which has no UTF-8 form, becomes
// U+FFFD.
Json JsonText(const wchar_t* text);

// A result code as the document writes it: "0x8007000E".
std::string JsonCode(HRESULT result);

// What stands for a run that could not be made: {"error": {"call": ...,
// "code": ..., "message": ...}}.
Json ErrorDocument(const char* call, HRESULT result, const char* message);

// The value as text: pretty with an indent of two, or on one line for
// indent -1. Off a console every character beyond ASCII is a \uXXXX escape,
// because Windows PowerShell decodes a program's output, and reads a file
// without a byte-order mark, in a legacy code page; escaped, the bytes are
// plain ASCII and every reader gets the names in full.
std::string DumpJson(const Json& value, int indent);
// The same, escaped to ASCII whatever standard output is: for a file.
std::string DumpJsonAscii(const Json& value, int indent);
