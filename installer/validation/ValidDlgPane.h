// The validation pane: has the activation data checked by the validation tool on a background
// thread, trying the record's server addresses in turn, shows the verdict and, after a
// successful validation, appends the agent's settings to its configuration file. Only a fully
// successful run lets the user go on.
#ifndef KELVORY_INSTALLER_VALIDATION_VALIDDLGPANE_H_
#define KELVORY_INSTALLER_VALIDATION_VALIDDLGPANE_H_

#import <AppKit/AppKit.h>
#import <InstallerPlugins/InstallerPlugins.h>

#include <stdint.h>

@class KLTextDataProvider;

@interface ValidDlgPane : InstallerPane {
  IBOutlet NSProgressIndicator* klValidationIndicator;
  IBOutlet NSTextField* klValidationResult;
  BOOL klPerformingValidation;
  KLTextDataProvider* dataProvider;  // not owned: the shared dictionary keeps it alive
}

/// Releases the two outlets.
- (void)dealloc;
/// The step's name in the installer's side list.
- (NSString*)title;
/// Nothing to do.
- (void)awakeFromNib;
/// Forward only: turns the indicator, hides the verdict, disables Continue and Go Back, takes
/// the record from the shared dictionary and starts the first attempt on a background thread.
/// Without a record: an alert that sends the user back, then "Validation Failed". Any other
/// direction changes nothing, so the last verdict stays.
- (void)willEnterPane:(InstallerSectionDirection)dir;
/// YES exactly when no validation is running, whatever the direction.
- (BOOL)shouldExitPane:(InstallerSectionDirection)dir;
/// One attempt on the background thread (its own autorelease pool); hands the status to
/// validationDidDone: on the main thread. The argument is unused.
- (void)doValidationTask:(id)unused;
/// The verdict of one attempt (status in a number object): success writes the configuration
/// file; a failure tries the next server address silently, or, with none left, shows its
/// message. Then the verdict text and the buttons.
- (void)validationDidDone:(NSNumber*)status;
/// The message for a status; the empty text means success.
- (NSString*)getErrorString:(int64_t)status;
/// Appends the endpoint count, the key's second endpoint and the [main] section to
/// /tmp/kelvor.conf for the installer's target volume. NO after an alert when it cannot.
- (BOOL)writeConfigFile:(NSString*)activationKey;
@end

#endif  // KELVORY_INSTALLER_VALIDATION_VALIDDLGPANE_H_
