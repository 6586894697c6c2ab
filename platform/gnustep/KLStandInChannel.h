// What the stand-in installer hands the GNUstep face of the platform that, on a Mac, the system
// answers itself. The face owns the channel; the host only fills it before loading the plug-in.
#ifndef KELVORY_PLATFORM_GNUSTEP_KLSTANDINCHANNEL_H_
#define KELVORY_PLATFORM_GNUSTEP_KLSTANDINCHANNEL_H_

namespace kl {

/// The environment variable naming a property-list file (a preferences dictionary or a whole
/// configuration profile) that stands in for the preferences a profile forces on a Mac.
constexpr char kStandInManagedPreferences[] = "KELVORY_STANDIN_MANAGED_PREFERENCES";

}  // namespace kl

#endif  // KELVORY_PLATFORM_GNUSTEP_KLSTANDINCHANNEL_H_
