// The Core Audio, property-system and COM identifiers the tool uses, spelt out
// here so that no GUID library or __uuidof support is needed to build.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <audioclient.h>
#include <propsys.h>

#include <cstdint>

// {BCDE0395-E52F-467C-8E3D-C4579291692E}
inline constexpr CLSID kClsidMMDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
// {A95664D2-9614-4F35-A746-DE8DB63617E6}
inline constexpr IID kIidIMMDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
// {1CB9AD4C-DBFA-4C32-B178-C2F568A703B2}
inline constexpr IID kIidIAudioClient = {
    0x1CB9AD4C, 0xDBFA, 0x4C32, {0xB1, 0x78, 0xC2, 0xF5, 0x68, 0xA7, 0x03, 0xB2}};

inline constexpr PROPERTYKEY kPkeyDeviceFriendlyName = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};
inline constexpr PROPERTYKEY kPkeyDeviceInterfaceFriendlyName = {
    {0x026E516E, 0xB814, 0x414B, {0x83, 0xCD, 0x85, 0x6D, 0x6F, 0xEF, 0x48, 0x22}}, 2};
inline constexpr PROPERTYKEY kPkeyDeviceDeviceDesc = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 2};

inline constexpr DWORD kClsctxAll = 0x17;  // CLSCTX_ALL
inline constexpr DWORD kComSpeedOverMemory = 0x8;  // COINIT_SPEED_OVER_MEMORY, no apartment flag

// The signature of CoCreateInstance, so that the listing can be handed a fake.
using CreateInstanceFunction = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
