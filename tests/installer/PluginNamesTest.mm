// The names the installer host reads from inside the plug-in still exist in the built bundle,
// with the kinds the host expects: a rename in the plug-in fails here, not silently in the host.
#import <Foundation/Foundation.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <objc/runtime.h>

#include <string>

#include "PluginNames.h"

namespace {

TEST(PluginNames, ExistInTheBuiltBundle) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  NSBundle* bundle = [NSBundle bundleWithPath:@KELVORY_BUNDLE_PATH];
  ASSERT_TRUE(bundle != nil && [bundle load]) << KELVORY_BUNDLE_PATH;
  for (const char* name : plugin_names::kOwnClasses) {
    EXPECT_TRUE(objc_getClass(name) != Nil) << name;
  }
  Class pane = objc_getClass(plugin_names::kValidationPane);
  ASSERT_TRUE(pane != Nil);
  const struct {
    const char* ivar;
    const char* type;
  } ivars[] = {{plugin_names::kVerdictOutlet, "@"}, {plugin_names::kBusyFlag, @encode(BOOL)}};
  for (const auto& expected : ivars) {
    Ivar ivar = class_getInstanceVariable(pane, expected.ivar);
    ASSERT_TRUE(ivar != NULL) << expected.ivar;
    EXPECT_EQ(std::string(ivar_getTypeEncoding(ivar)).substr(0, 1), expected.type) << expected.ivar;
  }
  EXPECT_TRUE(class_getInstanceVariable(pane, "klNoSuchOutlet") == NULL);
  void* handle =
      dlopen([[bundle executablePath] fileSystemRepresentation], RTLD_LAZY | RTLD_NOLOAD);
  ASSERT_TRUE(handle != nullptr);
  EXPECT_TRUE(dlsym(handle, plugin_names::kTerminateTools) != nullptr);
  EXPECT_TRUE(dlsym(handle, "_Z21NoSuchFunctionInThePluginv") == nullptr);
  dlclose(handle);
  [pool drain];
}

}  // namespace
