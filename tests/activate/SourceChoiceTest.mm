// The source choice with the platform's managed preferences (what a configuration profile gives
// on macOS), through a fake platform.
#import <Foundation/Foundation.h>
#include <gtest/gtest.h>

#import "KLActivationSource.h"
#include "KLPlatform.h"
#import "KLStringBridge.h"

namespace {

class ProfilePlatform : public kl::DefaultPlatform {
 public:
  std::string ManagedPreferences(const std::string& domain,
                                 const std::vector<std::string>& keys) override {
    asked = domain;
    for (const std::string& key : keys) asked += " " + key;
    return forced;
  }
  std::string forced, asked;
};

// The domain and keys asked for; what is forced gives the record, a typed proxy overrides it;
// nothing forced, or no dictionary, is no source.
TEST(SourceChoice, ThePlatformsForcedPreferences) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  ProfilePlatform platform;
  kl::ScopedPlatform scope(&platform);
  const std::string plist = "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">";
  platform.forced = plist +
                    "<dict><key>ActivationKey</key><string>a2V5</string><key>ServerPort</key>"
                    "<integer>8443</integer></dict></plist>\n";
  KLSourceRequest request;
  request.managedPreferences = true;
  request.typed.proxy = "127.0.0.1:3128";
  KLSourceChoice choice = KLChooseActivationSource(request);
  EXPECT_EQ(platform.asked,
            "com.kelvory.activation ActivationKey CustomerID CustomerName ServerURL "
            "ServerProtocol ServerPort ProxyURL ProxyPort");
  EXPECT_EQ(choice.source, KLSourceKind::kManagedPreferences);
  ASSERT_EQ(choice.looked.size(), 1u);
  EXPECT_EQ(choice.looked[0].location, "com.kelvory.activation");
  EXPECT_TRUE(choice.looked[0].found);
  EXPECT_EQ(KLStdString(choice.input.activationKey), "a2V5");
  EXPECT_EQ(KLStdString(choice.input.port), "8443");
  EXPECT_EQ(KLStdString(choice.input.proxy), "127.0.0.1:3128");
  EXPECT_EQ(choice.overrides, std::vector<std::string>({"proxy"}));

  const struct {
    std::string forced, problem;
  } cases[] = {
      {"", "no managed preferences are forced for this domain"},
      {plist + "<string>x</string></plist>\n", "the property list is not a dictionary"},
  };
  for (const auto& c : cases) {
    platform.forced = c.forced;
    choice = KLChooseActivationSource(request);
    EXPECT_EQ(choice.source, KLSourceKind::kNone);
    EXPECT_FALSE(choice.looked.at(0).found);
    EXPECT_EQ(choice.looked.at(0).problem, c.problem);
  }
  [pool drain];
}

}  // namespace
