// For the fleet measurement only: every --retry pause at its bound, none drawn.
#include "RetryPause.h"

double PauseAfterRound(int round, std::mt19937_64&) { return PauseBoundAfterRound(round); }
