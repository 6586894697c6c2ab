// Moved to tools/common; kept only until kelvory-activate includes the shared one.
#include "../common/JsonOutput.h"
