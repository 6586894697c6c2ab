// The doctor's findings about the checked input: the key's fields and endpoints, the likely
// cause of a refusal, the validation tool's runs and the servers' reachability.
#ifndef KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_DOCTORCHECKS_H_
#define KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_DOCTORCHECKS_H_

#import <Foundation/Foundation.h>

#include <nlohmann/json.hpp>
#include <string>

#include "DoctorPlatform.h"
#import "KLActivationInput.h"
#import "KLActivationSource.h"
#import "KLTextDataProvider.h"

namespace kl::keytool {

/// Resolution of a host through the platform; null when there is no host to ask about, or when
/// the resolver gave no answer within the limit.
nlohmann::json Resolves(const std::string& host, DoctorPlatform& platform);

/// The decoder's view of `key`, with every endpoint of its first field on its own.
nlohmann::json KeyReport(const std::string& key, DoctorPlatform& platform);

/// A plain-words cause for a refusal that comes from a common slip, or null.
nlohmann::json LikelyCause(const KLActivationRefusal& refusal, const std::string& key,
                           KLSourceKind source, KLTextDataProvider* record);

/// One entry per server address of `checked`: the server, whether it resolves, the tool's argv.
nlohmann::json ValidationRuns(KLTextDataProvider* checked, DoctorPlatform& platform);

/// Probes each server address of `checked`, each within `seconds`.
nlohmann::json Probe(KLTextDataProvider* checked, double seconds);

}  // namespace kl::keytool

#endif  // KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_DOCTORCHECKS_H_
