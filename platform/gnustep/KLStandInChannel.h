// What the stand-in installer hands the GNUstep face of the platform that, on a Mac, the system
// answers itself. The face owns the channel; the host fills it before loading the plug-in, and
// the framework twin, which the host and the plug-in share, keeps what the host sets there. Plain
// C and Objective-C apart from the C++ names, so that the twin's sources include it too.
#ifndef KELVORY_PLATFORM_GNUSTEP_KLSTANDINCHANNEL_H_
#define KELVORY_PLATFORM_GNUSTEP_KLSTANDINCHANNEL_H_

#import <Foundation/Foundation.h>

#ifdef __cplusplus
namespace kl {

/// The environment variable naming a property-list file (a preferences dictionary or a whole
/// configuration profile) that stands in for the preferences a profile forces on a Mac.
constexpr char kStandInManagedPreferences[] = "KELVORY_STANDIN_MANAGED_PREFERENCES";

}  // namespace kl

extern "C" {
#endif

/// The path of the package the stand-in installs, as the host set it with
/// +[InstallerSection setHostPackagePath:] (Linux windows carry no represented URL); nil until
/// set. Process-wide, as an installer installs one package.
NSString *KLStandInPackagePath(void);

#ifdef __cplusplus
}
#endif

#endif  // KELVORY_PLATFORM_GNUSTEP_KLSTANDINCHANNEL_H_
