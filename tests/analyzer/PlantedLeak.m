// Two leaks that scripts/analyze.sh must report (tests/analyzer/check.sh); never built.
#import <Foundation/Foundation.h>

NSString *KLPlantedLeaks(int n) {
  NSMutableArray *list = [[NSMutableArray alloc] init];  // never released
  [list addObject:@"x"];
  NSString *text = [[NSString alloc] initWithFormat:@"%d", n];
  return [text lowercaseString];  // the owned text is lost here
}
