#include "text/json.h"

#include "text/output.h"
#include "text/text.h"

Json JsonText(const wchar_t* text) {
  if (text == nullptr) {
    return nullptr;
  }
  return WideToUtf8(ReplaceLoneSurrogates(text));
}

std::string JsonCode(HRESULT result) { return "0x" + FormatCode(static_cast<std::uint32_t>(result)); }

Json ErrorDocument(const char* call, HRESULT result, const char* message) {
  Json error = Json::object();
  error["call"] = call;
  error["code"] = JsonCode(result);
  error["message"] = message;
  Json document = Json::object();
  document["error"] = std::move(error);
  return document;
}

std::string DumpJson(const Json& value, int indent) {
  // The text in it is valid UTF-8 already; replacing, never throwing, is
  // what keeps that promise for anything that slipped through.
  return value.dump(indent, ' ', !OutputIsConsole(), Json::error_handler_t::replace);
}

std::string DumpJsonAscii(const Json& value, int indent) {
  return value.dump(indent, ' ', true, Json::error_handler_t::replace);
}
