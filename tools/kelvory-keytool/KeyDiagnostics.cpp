#include "KeyDiagnostics.h"

namespace kl::keytool {

std::vector<std::string> Diagnostics(const KeyAnalysis& a) {
  std::vector<std::string> out;
  out.push_back("decoded text: " + a.decoded);
  out.push_back("field count: " + std::to_string(a.fields.size()) + " (4 expected)");
  switch (a.status) {
    case kl::KeyDecodeStatus::kWrongType:
      out.push_back("appliance type: \"" + a.fields[2] + "\" (1, 8 or 9 expected)");
      break;
    case kl::KeyDecodeStatus::kBadEndpoint:
      // The endpoint's message ends each fault with a line feed: one line here.
      out.push_back("rejected endpoint \"" + a.rejectedEndpointText + "\": " +
                    a.rejectedEndpointMessage.substr(
                        0, a.rejectedEndpointMessage.find_last_not_of('\n') + 1));
      break;
    case kl::KeyDecodeStatus::kBadIdentifier:
      out.push_back("appliance identifier: \"" + a.fields[1] +
                    "\" (decimal digits up to 2147483647 expected)");
      break;
    default:
      break;
  }
  return out;
}

}  // namespace kl::keytool
