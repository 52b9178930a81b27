// The Core Audio, property-system and COM identifiers the tool uses, spelt out
// here so that no GUID library or __uuidof support is needed to build.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <audioclient.h>
#include <propsys.h>
#include <endpointvolume.h>
#include <audiopolicy.h>

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

// {5CDF2C82-841E-4546-9722-0CF74078229A}
inline constexpr IID kIidIAudioEndpointVolume = {
    0x5CDF2C82, 0x841E, 0x4546, {0x97, 0x22, 0x0C, 0xF7, 0x40, 0x78, 0x22, 0x9A}};
// {C02216F6-8C67-4B5B-9D00-D008E73E0064}
inline constexpr IID kIidIAudioMeterInformation = {
    0xC02216F6, 0x8C67, 0x4B5B, {0x9D, 0x00, 0xD0, 0x08, 0xE7, 0x3E, 0x00, 0x64}};
// {1BE09788-6894-4089-8586-9A2A6C265AC5}
inline constexpr IID kIidIMMEndpoint = {
    0x1BE09788, 0x6894, 0x4089, {0x85, 0x86, 0x9A, 0x2A, 0x6C, 0x26, 0x5A, 0xC5}};
// {7991EEC9-7E89-4D85-8390-6C703CEC60C0}
inline constexpr IID kIidIMMNotificationClient = {
    0x7991EEC9, 0x7E89, 0x4D85, {0x83, 0x90, 0x6C, 0x70, 0x3C, 0xEC, 0x60, 0xC0}};
// {77AA99A0-1BD6-484F-8BC7-2C654C9A9B6F}
inline constexpr IID kIidIAudioSessionManager2 = {
    0x77AA99A0, 0x1BD6, 0x484F, {0x8B, 0xC7, 0x2C, 0x65, 0x4C, 0x9A, 0x9B, 0x6F}};
// {BFB7FF88-7239-4FC9-8FA2-07C950BE9C6D}
inline constexpr IID kIidIAudioSessionControl2 = {
    0xBFB7FF88, 0x7239, 0x4FC9, {0x8F, 0xA2, 0x07, 0xC9, 0x50, 0xBE, 0x9C, 0x6D}};
// {87CE5498-68D6-44E5-9215-6DA47EF883D8}
inline constexpr IID kIidISimpleAudioVolume = {
    0x87CE5498, 0x68D6, 0x44E5, {0x92, 0x15, 0x6D, 0xA4, 0x7E, 0xF8, 0x83, 0xD8}};
// The callbacks a watch registers with --details and --sessions.
// {657804FA-D6AD-4496-8A60-352752AF4F89}
inline constexpr IID kIidIAudioEndpointVolumeCallback = {
    0x657804FA, 0xD6AD, 0x4496, {0x8A, 0x60, 0x35, 0x27, 0x52, 0xAF, 0x4F, 0x89}};
// {641DD20B-4D41-49CC-ABA3-174B9477BB08}
inline constexpr IID kIidIAudioSessionNotification = {
    0x641DD20B, 0x4D41, 0x49CC, {0xAB, 0xA3, 0x17, 0x4B, 0x94, 0x77, 0xBB, 0x08}};
// {24918ACC-64B3-37C1-8CA9-74A66E9957A8}
inline constexpr IID kIidIAudioSessionEvents = {
    0x24918ACC, 0x64B3, 0x37C1, {0x8C, 0xA9, 0x74, 0xA6, 0x6E, 0x99, 0x57, 0xA8}};
// {00000000-0000-0000-C000-000000000046}
inline constexpr IID kIidIUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline constexpr PROPERTYKEY kPkeyDeviceFriendlyName = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};
inline constexpr PROPERTYKEY kPkeyDeviceInterfaceFriendlyName = {
    {0x026E516E, 0xB814, 0x414B, {0x83, 0xCD, 0x85, 0x6D, 0x6F, 0xEF, 0x48, 0x22}}, 2};
inline constexpr PROPERTYKEY kPkeyDeviceDeviceDesc = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 2};

inline constexpr PROPERTYKEY kPkeyAudioEndpointFormFactor = {
    {0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, 0};
inline constexpr PROPERTYKEY kPkeyAudioEndpointPhysicalSpeakers = {
    {0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, 3};
inline constexpr PROPERTYKEY kPkeyAudioEngineDeviceFormat = {
    {0xF19F064D, 0x082C, 0x4E27, {0xBC, 0x73, 0x68, 0x82, 0xA1, 0xBB, 0x8E, 0x4C}}, 0};
inline constexpr PROPERTYKEY kPkeyDeviceContainerId = {
    {0x8C7ED206, 0x3F8A, 0x4827, {0xB3, 0xAB, 0xAE, 0x9E, 0x1F, 0xAE, 0xFC, 0x6C}}, 2};

// The sample types of an extensible record (KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT).
// {00000001-0000-0010-8000-00AA00389B71}
inline constexpr GUID kSubtypePcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
// {00000003-0000-0010-8000-00AA00389B71}
inline constexpr GUID kSubtypeIeeeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

inline constexpr DWORD kClsctxAll = 0x17;  // CLSCTX_ALL
inline constexpr DWORD kComSpeedOverMemory = 0x8;  // COINIT_SPEED_OVER_MEMORY, no apartment flag

// What Activate and Query need of an interface: its IID, and the name a
// failure to obtain it is recorded under.
template <typename Interface>
struct InterfaceId;
template <>
struct InterfaceId<IAudioClient> {
  static constexpr const IID& kIid = kIidIAudioClient;
  static constexpr const char* kName = "IAudioClient";
};
template <>
struct InterfaceId<IAudioEndpointVolume> {
  static constexpr const IID& kIid = kIidIAudioEndpointVolume;
  static constexpr const char* kName = "IAudioEndpointVolume";
};
template <>
struct InterfaceId<IMMEndpoint> {
  static constexpr const IID& kIid = kIidIMMEndpoint;
  static constexpr const char* kName = "IMMEndpoint";
};
template <>
struct InterfaceId<IAudioSessionManager2> {
  static constexpr const IID& kIid = kIidIAudioSessionManager2;
  static constexpr const char* kName = "IAudioSessionManager2";
};
template <>
struct InterfaceId<IAudioSessionControl2> {
  static constexpr const IID& kIid = kIidIAudioSessionControl2;
  static constexpr const char* kName = "IAudioSessionControl2";
};
template <>
struct InterfaceId<ISimpleAudioVolume> {
  static constexpr const IID& kIid = kIidISimpleAudioVolume;
  static constexpr const char* kName = "ISimpleAudioVolume";
};

template <>
struct InterfaceId<IAudioEndpointVolumeCallback> {
  static constexpr const IID& kIid = kIidIAudioEndpointVolumeCallback;
  static constexpr const char* kName = "IAudioEndpointVolumeCallback";
};
template <>
struct InterfaceId<IAudioSessionNotification> {
  static constexpr const IID& kIid = kIidIAudioSessionNotification;
  static constexpr const char* kName = "IAudioSessionNotification";
};
template <>
struct InterfaceId<IAudioSessionEvents> {
  static constexpr const IID& kIid = kIidIAudioSessionEvents;
  static constexpr const char* kName = "IAudioSessionEvents";
};

// The signature of CoCreateInstance, so that the listing can be handed a fake.
using CreateInstanceFunction = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);

// mingw-w64 declares the peak meter's interface without defining it; the
// Windows SDK defines it, with these methods in this order.
// The guard is the SDK's own name, so that the two definitions never meet;
// like every COM interface it has no destructor of its own.
#ifndef __IAudioMeterInformation_INTERFACE_DEFINED__
#define __IAudioMeterInformation_INTERFACE_DEFINED__  // NOLINT(bugprone-reserved-identifier)
struct IAudioMeterInformation : public IUnknown {     // NOLINT(cppcoreguidelines-virtual-class-destructor)
  virtual HRESULT STDMETHODCALLTYPE GetPeakValue(float* peak) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMeteringChannelCount(UINT* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChannelsPeakValues(UINT32 count, float* peaks) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD* support) = 0;
};
#endif

template <>
struct InterfaceId<IAudioMeterInformation> {
  static constexpr const IID& kIid = kIidIAudioMeterInformation;
  static constexpr const char* kName = "IAudioMeterInformation";
};
