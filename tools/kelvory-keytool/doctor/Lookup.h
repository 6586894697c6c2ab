// Host-name lookups within a time limit, all at once: a resolver that never answers must not
// hold the doctor past its limit, nor one name hold up the next.
#ifndef KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_LOOKUP_H_
#define KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_LOOKUP_H_

#include <map>
#include <string>
#include <vector>

namespace kl::keytool {

enum class LookupResult { kResolves, kNotFound, kNoAnswer };

/// A lookup: true when `name` has an address. A plain function, since a lookup that outlives
/// its limit runs on with nobody waiting for it.
using HostResolver = bool (*)(const std::string& name);

/// Whether the system resolver finds an IPv4 address for `name`, as the pane's lookup does.
bool SystemResolves(const std::string& name);

/// Looks up every name at once, each on a thread of its own, and waits at most `seconds` for
/// them all. A lookup still running then is kNoAnswer and its thread is left to end by itself:
/// neither the caller nor the process waits for it.
std::map<std::string, LookupResult> LookUpAll(const std::vector<std::string>& names, double seconds,
                                              HostResolver resolve = SystemResolves);

}  // namespace kl::keytool

#endif  // KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_LOOKUP_H_
