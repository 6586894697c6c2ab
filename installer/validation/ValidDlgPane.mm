#import "ValidDlgPane.h"

#import "KLPaneText.h"
#include "KLPlatform.h"
#include "KLStringBridge.h"
#import "KLTextDataProvider.h"
#import "KLValidation.h"

namespace {

// The verdict's steps answered by the pane's own methods, as its order of calls specifies.
class PaneVerdictSteps : public kl::VerdictSteps {
 public:
  explicit PaneVerdictSteps(ValidDlgPane* pane) : pane_(pane) {}
  std::string ErrorString(int64_t status) override {
    return KLStdString([pane_ getErrorString:status]);
  }
  bool WriteConfigFile(NSString* activationKey) override {
    return [pane_ writeConfigFile:activationKey];
  }

 private:
  ValidDlgPane* pane_;
};

}  // namespace

@implementation ValidDlgPane

- (void)dealloc {
  [klValidationIndicator release];
  [klValidationResult release];
  [super dealloc];
}

- (NSString*)title {
  return KLPaneText([[self section] bundle], @"validation.title", @"Validation");
}

- (void)awakeFromNib {
}

- (NSString*)targetVolumePath {
  return [[[self section] installerState] targetVolumePath];
}

// The thread holds no reference of its own to the pane, so the pane and its controls are only
// ever freed on the main thread: the attempt's reference is taken here and handed back in
// validationDidDone:.
- (void)startAttempt {
  [self retain];
  [NSThread detachNewThreadSelector:@selector(runValidationTask:)
                           toTarget:[self class]
                         withObject:[NSValue valueWithNonretainedObject:self]];
}

+ (void)runValidationTask:(NSValue*)pane {
  [[pane nonretainedObjectValue] doValidationTask:nil];
}

- (void)showVerdict:(BOOL)succeeded {
  klPerformingValidation = NO;
  [klValidationIndicator stopAnimation:self];
  NSBundle* bundle = [[self section] bundle];
  NSString* verdict =
      succeeded ? KLPaneText(bundle, @"validation.verdict.succeeded", @"Validation Succeeded")
                : KLPaneText(bundle, @"validation.verdict.failed", @"Validation Failed");
  [klValidationResult setStringValue:verdict];
  [klValidationResult setHidden:NO];
  // A person who cannot see the pane hears the verdict as it appears.
  kl::CurrentPlatform().AnnounceAccessibility(klValidationResult, KLStdString(verdict));
  [self setNextEnabled:succeeded];
  [self setPreviousEnabled:YES];
}

- (void)willEnterPane:(InstallerSectionDirection)dir {
  if (dir != InstallerDirectionForward) return;
  [klValidationIndicator startAnimation:self];
  [klValidationResult setHidden:YES];
  [klValidationResult setStringValue:@""];
  [self setNextEnabled:NO];
  [self setPreviousEnabled:NO];
  klPerformingValidation = YES;
  id record = [[[self section] sharedDictionary] valueForKey:kl::kActivationPaneDataKey];
  dataProvider = [record isKindOfClass:[KLTextDataProvider class]] ? record : nil;
  if (dataProvider == nil) {
    // The activation pane always leaves a record; without one there is nothing to validate.
    kl::CurrentPlatform().ShowCriticalAlert(KLPaneAlertText(
        [[self section] bundle],
        "No activation data was found. Please go back and enter the activation data."));
    [self showVerdict:NO];
    return;
  }
  [self startAttempt];
}

- (BOOL)shouldExitPane:(InstallerSectionDirection)dir {
  (void)dir;
  return !klPerformingValidation;
}

- (void)doValidationTask:(id)unused {
  (void)unused;
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  const int32_t status =
      KLRunValidationAttempt(dataProvider, [[[self section] bundle] resourcePath]);
  [self performSelectorOnMainThread:@selector(validationDidDone:)
                         withObject:[NSNumber numberWithInt:status]
                      waitUntilDone:NO];
  [pool drain];
}

- (void)validationDidDone:(NSNumber*)status {
  [self autorelease];  // the attempt's reference, taken in startAttempt
  PaneVerdictSteps steps(self);
  kl::AttemptOutcome outcome{kl::AttemptVerdict::kFailed, std::string()};
  {
    // The verdict's alerts are worded by the shared validation; shown in the pane's language.
    // No attempt runs meanwhile, so no other thread sees this platform.
    KLScopedPaneAlerts alerts([[self section] bundle]);
    outcome = KLConcludeValidationAttempt(dataProvider, [status intValue], steps);
  }
  if (outcome.verdict == kl::AttemptVerdict::kRetry) {
    [self startAttempt];
    return;
  }
  [self showVerdict:(outcome.verdict == kl::AttemptVerdict::kSucceeded)];
}

- (NSString*)getErrorString:(int64_t)status {
  return KLNSString(kl::ValidationStatusMessage(status));
}

- (BOOL)writeConfigFile:(NSString*)activationKey {
  return KLWriteConfigFile(activationKey, [self targetVolumePath]);
}

@end
