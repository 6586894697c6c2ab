// GNUstep's per-class instance counts, for tests that prove objects are freed. NSDebug.h hides
// these declarations when NDEBUG is set, so they are declared here.
#ifndef KELVORY_TESTS_ALLOCATIONCOUNT_H_
#define KELVORY_TESTS_ALLOCATIONCOUNT_H_

#import <Foundation/Foundation.h>

#ifdef GNUSTEP
extern "C" {
BOOL GSDebugAllocationActive(BOOL active);
int GSDebugAllocationCount(Class c);
Class* GSDebugAllocationClassList(void);
}
#endif

#endif  // KELVORY_TESTS_ALLOCATIONCOUNT_H_
