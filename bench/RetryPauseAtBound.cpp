// For the fleet measurement only: every --retry pause at its bound, none drawn.
#include "RetryPause.h"

namespace kl::activate {

double PauseAfterRound(int round, std::mt19937_64&) { return PauseBoundAfterRound(round); }

}  // namespace kl::activate
