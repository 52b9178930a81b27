// The JSON value's name alone, for declarations that hand values on: all of
// nlohmann/json, a large part of any file's parse, is read only where values
// are made or written (text/json.h).
#pragma once

#include <nlohmann/json_fwd.hpp>

// Members stay in the order they are written, which is the order readers see.
using Json = nlohmann::ordered_json;
