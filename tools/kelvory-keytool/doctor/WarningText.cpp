#include "WarningText.h"

#include <ctype.h>

#include <algorithm>

namespace kl::keytool {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return text;
}

size_t Distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string NearestName(const std::string& name, const std::vector<std::string>& known) {
  std::string best;
  size_t bestDistance = std::max<size_t>(1, name.size() / 3) + 1;
  for (const std::string& candidate : known) {
    const size_t d = Distance(Lower(name), Lower(candidate));
    if (d < bestDistance) {
      bestDistance = d;
      best = candidate;
    }
  }
  return best;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string UnknownText(const std::string& what, const std::string& name,
                        const std::vector<std::string>& known, const std::string& where) {
  std::string message = "unknown " + what + " " + name + where + " is ignored";
  const std::string nearest = NearestName(name, known);
  if (!nearest.empty()) message += "; did you mean " + nearest + "?";
  return message;
}

std::string ProtocolText(const std::string& where, const std::string& text) {
  return where + " is " + Quoted(text) + ", not exactly \"http\" or \"https\", so it is read as " +
         (text == "https" ? "https" : "http");
}

std::string PortText(const std::string& what, int64_t port) {
  return "port " + std::to_string(port) + " of " + what + " is outside 1-65535";
}

std::vector<std::string> KeyPortTexts(const std::vector<KLEndPoint>& endpoints) {
  std::vector<std::string> texts;
  for (const KLEndPoint& e : endpoints) {
    if (e.port < 1 || e.port > 65535)
      texts.push_back(PortText("the key's endpoint " + e.host, e.port));
  }
  return texts;
}

}  // namespace kl::keytool
