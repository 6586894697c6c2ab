#include "PlainReport.h"

#include <iostream>

#include "PlainText.h"

namespace kl::keytool {

namespace {

using nlohmann::json;

std::string Quoted(const std::string& text) {
  return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string YesNo(const json& value, const json& host, const std::string& limit) {
  if (value.is_null()) {
    return host.get<std::string>().empty() ? "no host" : "no answer within " + limit;
  }
  return value.get<bool>() ? "yes" : "no";
}

// Endpoint messages end each fault with a line feed; on one line they read better joined.
std::string OneLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
    text.replace(at, 1, "; ");
  }
  return text;
}

// A value for the plain output, escaped (see PlainValue); JSON for what is not a text.
std::string Text(const json& value) {
  return value.is_string() ? PlainValue(value.get<std::string>())
                           : value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

void PrintPlain(const json& r, const std::string& limit) {
  std::ostream& out = std::cout;
  if (!r["file"].is_null()) {
    const json& file = r["file"];
    out << "pre-fill file: " << Quoted(file["path"]) << "\n"
        << "found: " << (file["found"].get<bool>() ? "yes" : "no") << "\n";
    if (!file["problem"].is_null()) out << "problem: " << Text(file["problem"]) << "\n";
  }
  if (!r["profile"].is_null()) {
    const json& profile = r["profile"];
    out << "managed preferences: " << Quoted(profile["location"]) << "\n"
        << "  found: " << (profile["found"].get<bool>() ? "yes" : "no") << "\n";
    if (!profile["problem"].is_null()) out << "  problem: " << Text(profile["problem"]) << "\n";
  }
  if (r["source"] != "none") out << "source: " << Text(r["source"]) << "\n";
  if (!r["read"].is_null()) {
    out << "read:\n";
    static const char* const kNames[] = {"containData",  "activationKey", "customerId",
                                         "customerName", "serverURL",     "isHTTPS",
                                         "serverPort",   "proxyServer"};
    for (const char* name : kNames) {
      const json& value = r["read"][name];
      out << "  " << name << ": " << (value.is_string() ? Quoted(value) : Text(value)) << "\n";
    }
  }
  if (!r["form"].is_null()) out << "form: " << Text(r["form"]) << "\n";
  out << "passes by itself: " << (r["passes"].get<bool>() ? "yes" : "no") << "\n";
  if (!r["alert"].is_null()) {
    out << "alert: " << Text(r["alert"]) << "\nfield at fault: " << Text(r["field"]) << "\n";
  }
  if (!r["likelyCause"].is_null()) out << "likely cause: " << Text(r["likelyCause"]) << "\n";
  if (!r["key"].is_null()) {
    const json& key = r["key"];
    out << "key: " << Quoted(key["text"]) << "\n"
        << "  decoded text: " << Quoted(key["decoded"]) << "\n"
        << "  field count: " << key["fieldCount"].get<size_t>() << " (4 expected)\n";
    if (!key["applianceId"].is_null()) {
      out << "  appliance identifier: " << Quoted(key["applianceId"]) << "\n"
          << "  appliance type: " << Quoted(key["applianceType"]) << "\n";
    }
    out << "  decoder: "
        << (key["decoderAlert"].is_null() ? "accepted" : "refused: " + Text(key["decoderAlert"]))
        << "\n";
    size_t number = 0;
    for (const json& e : key["endpoints"]) {
      out << "  endpoint " << ++number << ": " << Quoted(e["text"]) << ": ";
      if (e["valid"].get<bool>()) {
        out << "valid, protocol=" << Text(e["protocol"]) << " host=" << Text(e["host"])
            << " port=" << e["port"].get<int32_t>();
      } else {
        out << "invalid: " << PlainValue(OneLine(e["message"].get<std::string>()));
      }
      out << "; resolves: " << YesNo(e["resolves"], e["host"], limit) << "\n";
    }
  }
  if (!r["validation"].empty()) out << "validation runs:\n";
  size_t number = 0;
  for (const json& run : r["validation"]) {
    out << "  server " << ++number << ": " << Quoted(run["server"])
        << "; resolves: " << YesNo(run["resolves"], run["server"], limit) << "\n"
        << "    argv: " << Text(run["argv"]) << "\n";
  }
  number = 0;
  for (const json& p : r["probe"]) {
    out << "probe " << ++number << ": " << Text(p["protocol"]) << "://" << Text(p["host"]) << ":"
        << p["port"].get<int32_t>();
    if (!p["proxy"].is_null()) out << " via " << Text(p["proxy"]);
    if (p["reachable"].get<bool>()) {
      out << ": reachable";
    } else {
      out << ": unreachable: " << Text(p["error"]);
    }
    out << " (" << p["milliseconds"].get<int64_t>() << " ms)\n";
  }
  for (const json& w : r["warnings"]) out << "warning: " << Text(w["message"]) << "\n";
  out.flush();
}

}  // namespace kl::keytool
