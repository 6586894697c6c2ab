// Property lists in XML, written by hand for the readers of managed preferences.
#ifndef KELVORY_TESTS_PLISTTEXT_H_
#define KELVORY_TESTS_PLISTTEXT_H_

#include <string>
#include <vector>

namespace kl {

/// A dictionary of key, value pairs; a value that starts with '<' stands as it is (an integer,
/// a boolean, a nested dictionary), any other is a string.
inline std::string Dict(const std::vector<std::string>& pairs) {
  std::string entries;
  for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
    const std::string& value = pairs[i + 1];
    entries += "<key>" + pairs[i] + "</key>" +
               (!value.empty() && value[0] == '<' ? value : "<string>" + value + "</string>");
  }
  return "<dict>" + entries + "</dict>";
}

/// A whole property list whose top is Dict(pairs).
inline std::string Plist(const std::vector<std::string>& pairs) {
  return "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">" + Dict(pairs) + "</plist>";
}

}  // namespace kl

#endif  // KELVORY_TESTS_PLISTTEXT_H_
