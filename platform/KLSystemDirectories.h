// The system's standard directories, as the platform's Foundation finds them: the faces answer
// kl::Platform::ApplicationDirectories with these, and so do tools with no face of their own.
#ifndef KELVORY_PLATFORM_KLSYSTEMDIRECTORIES_H_
#define KELVORY_PLATFORM_KLSYSTEMDIRECTORIES_H_

#import <Foundation/Foundation.h>

#include <string>
#include <vector>

#include "KLStringBridge.h"

/// The system domain's applications directories, tilde expanded, as UTF-8 paths
/// (NSSearchPathForDirectoriesInDomains with the applications directory).
inline std::vector<std::string> KLSystemApplicationDirectories() {
  NSArray* list =
      NSSearchPathForDirectoriesInDomains(NSApplicationDirectory, NSSystemDomainMask, YES);
  std::vector<std::string> result;
  for (NSUInteger i = 0; i < [list count]; ++i) {
    result.push_back(KLStdString([list objectAtIndex:i]));
  }
  return result;
}

#endif  // KELVORY_PLATFORM_KLSYSTEMDIRECTORIES_H_
