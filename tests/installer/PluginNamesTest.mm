// The names the installer host reads from inside the plug-in still exist in the built bundle,
// with the kinds the host expects: a rename in the plug-in fails here, not silently in the host.
// And the host's leak check sees objects of every class of ours, whoever defines it.
#import <Foundation/Foundation.h>
#import <InstallerHost/InstallerHost.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <objc/runtime.h>

#include <string>

#include "LeakCheck.h"
#include "PluginNames.h"

namespace {

TEST(PluginNames, ExistInTheBuiltBundle) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  NSBundle* bundle = [NSBundle bundleWithPath:@KELVORY_BUNDLE_PATH];
  ASSERT_TRUE(bundle != nil && [bundle load]) << KELVORY_BUNDLE_PATH;
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

TEST(LeakCheck, SeesEveryClassOfOursAlive) {
  KLStartCountingObjects();
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  NSBundle* bundle = [NSBundle bundleWithPath:@KELVORY_BUNDLE_PATH];
  ASSERT_TRUE([bundle load]);
  NSArray* ours = KLOurClasses(bundle);
  // The plug-in's (a pane, a class private to one file) and the installer framework's.
  for (const char* name : {"ActDlgPane", "KLPrefillReader", "InstallerState"}) {
    EXPECT_TRUE([ours containsObject:[NSString stringWithUTF8String:name]]) << name;
  }
  EXPECT_FALSE([ours containsObject:@"NSObject"]);
  EXPECT_TRUE(KLOurObjectsFreed(bundle));

  InstallerSection* section = [[[bundle principalClass] alloc] initWithBundle:bundle];
  [[section installerState] setTargetVolumePath:@"/"];
  testing::internal::CaptureStderr();
  EXPECT_FALSE(KLOurObjectsFreed(bundle));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("leak: 1 KLInstallerSection still alive"), std::string::npos) << said;
  EXPECT_NE(said.find("leak: 1 InstallerState still alive"), std::string::npos) << said;
  [section release];
  EXPECT_TRUE(KLOurObjectsFreed(bundle));
  [pool drain];
}

}  // namespace
