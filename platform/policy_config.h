// The platform's policy-configuration class, the one way to set a default
// endpoint, which the Sound panel itself uses (Windows 7 to 11). Only
// SetDefaultEndpoint is called; the methods before it hold their places.
#pragma once

#include "platform/core_audio.h"

// {870AF99C-171D-4F9E-AF0D-E63DF40C2BC9}
inline constexpr CLSID kClsidPolicyConfig = {
    0x870AF99C, 0x171D, 0x4F9E, {0xAF, 0x0D, 0xE6, 0x3D, 0xF4, 0x0C, 0x2B, 0xC9}};
// {F8679F50-850A-41CF-9C72-430F290290C8}
inline constexpr IID kIidIPolicyConfig = {0xF8679F50, 0x850A, 0x41CF, {0x9C, 0x72, 0x43, 0x0F, 0x29, 0x02, 0x90, 0xC8}};

// Like every COM interface it has no destructor of its own.
struct IPolicyConfig : public IUnknown {  // NOLINT(cppcoreguidelines-virtual-class-destructor)
  virtual HRESULT STDMETHODCALLTYPE GetMixFormat(PCWSTR id, WAVEFORMATEX** format) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeviceFormat(PCWSTR id, INT use_default, WAVEFORMATEX** format) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResetDeviceFormat(PCWSTR id) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDeviceFormat(PCWSTR id, WAVEFORMATEX* endpoint, WAVEFORMATEX* mix) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProcessingPeriod(PCWSTR id, INT use_default, PINT64 period,
                                                        PINT64 minimum) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProcessingPeriod(PCWSTR id, PINT64 period) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetShareMode(PCWSTR id, void* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetShareMode(PCWSTR id, void* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyValue(PCWSTR id, const PROPERTYKEY& key, PROPVARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPropertyValue(PCWSTR id, const PROPERTYKEY& key, PROPVARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultEndpoint(PCWSTR id, ERole role) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEndpointVisibility(PCWSTR id, INT visible) = 0;
};
