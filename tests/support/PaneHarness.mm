#import "PaneHarness.h"

#include <objc/runtime.h>

#import "ActDlgPaneViews.h"
#import "KLTextDataProvider.h"
#import "ValidDlgPaneViews.h"

static NSString* g_language = @"en";

void KLSetTestLanguage(NSString* language) {
  [g_language release];
  g_language = [language copy];
}

NSString* KLTestLanguage() { return g_language; }

static NSMutableDictionary* g_overrides = nil;

void KLSetTestText(NSString* key, NSString* text) {
  if (g_overrides == nil) g_overrides = [[NSMutableDictionary alloc] init];
  text == nil ? [g_overrides removeObjectForKey:key] : [g_overrides setObject:text forKey:key];
}

// The tests lay a tool out in a plain folder: the bundle's resources are that folder. Without
// one the bundle is the string tables' folder and has no resources, as a section without a
// bundle had. Its texts come from the tables kept in the source, in the test's language: the
// system would choose the language once per process.
@interface KLTestBundle : NSBundle
@end
@implementation KLTestBundle
- (NSString*)resourcePath {
  return [[self bundlePath] isEqualToString:@KL_STRING_TABLES_DIR] ? nil : [self bundlePath];
}
- (NSString*)localizedStringForKey:(NSString*)key value:(NSString*)value table:(NSString*)table {
  if ([g_overrides objectForKey:key] != nil) return [g_overrides objectForKey:key];
  NSString* path = [NSString stringWithFormat:@"%s/%@.lproj/%@.strings", KL_STRING_TABLES_DIR,
                                              g_language, table != nil ? table : @"Localizable"];
  NSString* text = [NSString stringWithContentsOfFile:path
                                             encoding:NSUTF8StringEncoding
                                                error:NULL];
  NSString* found = [[text propertyListFromStringsFileFormat] objectForKey:key];
  if (found != nil) return found;
  return [value length] != 0 ? value : key;
}
@end

@interface KLTestState : InstallerState {
 @public
  NSString* volume;
}
@end
@implementation KLTestState
- (void)dealloc {
  [volume release];
  [super dealloc];
}
- (NSString*)targetVolumePath {
  return volume;
}
@end

// No instance variable of its own, so that a built pane can take this class on.
@interface KLTestActivationPane : ActDlgPane
@end
@implementation KLTestActivationPane
- (BOOL)gotoNextPane {
  return [(KLTestSection*)[self section] moveOnFrom:self];
}
@end

@implementation KLTestValidationPane
- (void)setNextEnabled:(BOOL)enabled {
  [(KLTestSection*)[self section] pane:self asksNext:YES enabled:enabled];
  [super setNextEnabled:enabled];
}
- (void)setPreviousEnabled:(BOOL)enabled {
  [(KLTestSection*)[self section] pane:self asksNext:NO enabled:enabled];
  [super setPreviousEnabled:enabled];
}
@end

// `pane` made an instance of `test`, a subclass that adds no instance variable.
static id KLRecast(id pane, Class test) {
  NSCAssert(class_getInstanceSize(test) == class_getInstanceSize([pane class]),
            @"the test pane must not change the layout");
  object_setClass(pane, test);
  return pane;
}

ActDlgPane* KLNewTestActivationPane(KLTestSection* section) {
  return KLRecast(KLCreateActivationPane(section), [KLTestActivationPane class]);
}

ValidDlgPane* KLNewTestValidationPane(KLTestSection* section) {
  ValidDlgPane* pane = KLRecast(KLCreateValidationPane(section), [KLTestValidationPane class]);
  InstallerPane* first = [[[InstallerPane alloc] initWithSection:section] autorelease];
  InstallerPane* last = [[[InstallerPane alloc] initWithSection:section] autorelease];
  [section setPanes:[NSArray arrayWithObjects:first, pane, last, nil]];
  return pane;
}

NSTimeInterval KLWaitForVerdict(ValidDlgPane* pane, NSTimeInterval since) {
  NSTimeInterval longest = 0;
  NSDate* limit = [NSDate dateWithTimeIntervalSinceNow:20];
  while ([[pane valueForKey:@"klPerformingValidation"] boolValue] &&
         [limit timeIntervalSinceNow] > 0) {
    [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode
                             beforeDate:[NSDate dateWithTimeIntervalSinceNow:0.05]];
    longest = MAX(longest, [NSDate timeIntervalSinceReferenceDate] - since);
    since = [NSDate timeIntervalSinceReferenceDate];
  }
  return longest;
}

@interface KLTestSection ()
@property(nonatomic, readonly) NSBundle* bundle;
@property(nonatomic, readonly) InstallerState* installerState;
@property(nonatomic, readonly) NSMutableDictionary* sharedDictionary;
@end

@implementation KLTestSection
@synthesize bundle = klBundle, installerState = klState, sharedDictionary = klShared;
- (id)init {
  self = [super init];
  if (self != nil) {
    klShared = [[NSMutableDictionary alloc] init];
    klState = [[KLTestState alloc] init];
    klActive = -1;
    klBundle = [[KLTestBundle alloc] initWithPath:@KL_STRING_TABLES_DIR];
  }
  return self;
}
- (void)dealloc {
  [klState release];
  [klShared release];
  [klBundle release];
  [klPanes release];
  [klNextAsked release];
  [klPreviousAsked release];
  [super dealloc];
}
- (InstallerPane*)firstPane {
  return [klPanes firstObject];
}
- (InstallerPane*)activePane {
  const BOOL shown = klActive >= 0 && klActive < (NSInteger)[klPanes count];
  return shown ? [klPanes objectAtIndex:klActive] : nil;
}
- (void)setPanes:(NSArray*)panes {
  [klPanes release];
  klPanes = [panes copy];
  [klNextAsked release];
  [klPreviousAsked release];
  klNextAsked = [[NSMutableArray alloc] init];
  klPreviousAsked = [[NSMutableArray alloc] init];
  for (NSUInteger i = 0; i < [panes count]; ++i) {
    [klNextAsked addObject:[NSNumber numberWithBool:YES]];
    [klPreviousAsked addObject:[NSNumber numberWithBool:YES]];
  }
}
- (void)pane:(InstallerPane*)pane asksNext:(BOOL)next enabled:(BOOL)enabled {
  const NSUInteger at = [klPanes indexOfObjectIdenticalTo:pane];
  NSAssert(at != NSNotFound, @"a pane of another section");
  [(next ? klNextAsked : klPreviousAsked) replaceObjectAtIndex:at
                                                    withObject:[NSNumber numberWithBool:enabled]];
}
- (KLTextDataProvider*)handOnDemoCustomerAt:(NSString*)servers {
  KLTextDataProvider* record = [[[KLTextDataProvider alloc] initWithKey:@""
                                                              serverURL:servers
                                                                   port:80
                                                               isSecure:NO
                                                                  proxy:@""
                                                           customerName:@"Demo Customer"
                                                             customerId:@"1001"
                                                            applianceId:0] autorelease];
  [klShared setValue:record forKey:@"ActivationPaneData"];
  return record;
}
- (BOOL)pane:(InstallerPane*)pane hasEnabled:(BOOL)next {
  const NSUInteger at = [klPanes indexOfObjectIdenticalTo:pane];
  return at != NSNotFound && [[(next ? klNextAsked : klPreviousAsked) objectAtIndex:at] boolValue];
}
- (void)setResourcePath:(NSString*)path {
  [klBundle release];
  klBundle = [[KLTestBundle alloc] initWithPath:(path != nil ? path : @KL_STRING_TABLES_DIR)];
}
- (void)setTargetVolumePath:(NSString*)path {
  [((KLTestState*)klState)->volume release];
  ((KLTestState*)klState)->volume = [path copy];
}
// The Installer's order: willExitPane: of the pane left, willEnterPane: of the next, then
// didExitPane: and didEnterPane:. A pane that moves on from inside willEnterPane: is passed by
// and gets no didEnterPane:.
- (void)moveTo:(NSInteger)to {
  const InstallerSectionDirection dir =
      to > klActive ? InstallerDirectionForward : InstallerDirectionBackward;
  InstallerPane* leaving = [self activePane];
  klActive = to;
  [leaving willExitPane:dir];
  klEntering = YES;
  klMoveOn = NO;
  [[self activePane] willEnterPane:dir];
  klEntering = NO;
  [leaving didExitPane:dir];
  klMoveOn ? [self moveTo:to + 1] : [[self activePane] didEnterPane:dir];
}
- (void)start {
  [self moveTo:0];
}
- (BOOL)press:(InstallerSectionDirection)dir {
  const BOOL forward = dir == InstallerDirectionForward;
  InstallerPane* pane = [self activePane];
  if (pane == nil || (!forward && klActive == 0) || ![self pane:pane hasEnabled:forward] ||
      ![pane shouldExitPane:dir])
    return NO;
  [self moveTo:klActive + (forward ? 1 : -1)];
  return YES;
}
- (BOOL)moveOnFrom:(InstallerPane*)pane {
  if (pane != [self activePane] || klActive + 1 >= (NSInteger)[klPanes count]) return NO;
  if (klEntering) return (klMoveOn = YES);  // the move follows once willEnterPane: returns
  [self moveTo:klActive + 1];
  return YES;
}
@end
