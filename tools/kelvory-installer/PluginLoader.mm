#import "PluginLoader.h"

#include <objc/runtime.h>

#include <cstdlib>

#include "KLStringBridge.h"

namespace kl::host {

InstallerSection* KLLoadPlugin(const std::string& path, std::string* error) {
  NSBundle* bundle = [NSBundle bundleWithPath:KLNSString(path)];
  if (bundle == nil || ![bundle load]) {
    *error = "cannot load the plug-in " + path;
    return nil;
  }
  Class principal = [bundle principalClass];
  if (principal == Nil || ![principal isSubclassOfClass:[InstallerSection class]]) {
    *error = "the plug-in " + path + " has no installer section as its principal class";
    return nil;
  }
  return [[principal alloc] initWithBundle:bundle];
}

NSArray* KLSectionPanes(InstallerSection* section) {
  NSMutableArray* panes = [NSMutableArray array];
  if (![section loadSection]) return panes;
  for (InstallerPane* pane = [section firstPane];
       pane != nil && [panes indexOfObjectIdenticalTo:pane] == NSNotFound; pane = [pane nextPane]) {
    [panes addObject:pane];
  }
  return panes;
}

id KLOutlet(id pane, const std::string& name) {
  if (pane == nil) return nil;
  Ivar ivar = class_getInstanceVariable([pane class], name.c_str());
  if (ivar == NULL) return nil;
  const char* type = ivar_getTypeEncoding(ivar);
  if (type == NULL || type[0] != '@') return nil;
  return object_getIvar(pane, ivar);
}

BOOL KLFlag(id pane, const std::string& name) {
  if (pane == nil || class_getInstanceVariable([pane class], name.c_str()) == NULL) return NO;
  return [[pane valueForKey:KLNSString(name)] boolValue];
}

std::set<std::string> KLPaneOutlets(NSArray* panes) {
  std::set<std::string> names;
  for (NSUInteger i = 0; i < [panes count]; ++i) {
    unsigned int count = 0;
    Ivar* ivars = class_copyIvarList([[panes objectAtIndex:i] class], &count);
    for (unsigned int k = 0; k < count; ++k) {
      const char* type = ivar_getTypeEncoding(ivars[k]);
      if (type != NULL && type[0] == '@') names.insert(ivar_getName(ivars[k]));
    }
    std::free(ivars);
  }
  return names;
}

}  // namespace kl::host
