#pragma once

#include <cstdint>

// The device states to list, as the platform's DEVICE_STATE_* bits. Written
// only while the command line is read; the listing and the report read it.
extern std::uint32_t StateMask;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
