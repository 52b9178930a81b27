// trelmo's own event context, passed with every change of a volume or a
// mute, so that a program told of the change can tell it came from trelmo;
// a watch compares what it is told with it.
#pragma once

#include <windows.h>

// {F8C7BA3E-BF05-4293-A3F3-38B67074950B}
inline constexpr GUID kTrelmoEventContext = {
    0xF8C7BA3E, 0xBF05, 0x4293, {0xA3, 0xF3, 0x38, 0xB6, 0x70, 0x74, 0x95, 0x0B}};
