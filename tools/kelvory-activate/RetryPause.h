// --retry's pauses between rounds: short at first for a network that is nearly up, doubling to
// at most a minute so that a fleet waiting for one server does not keep hammering it.
#ifndef KELVORY_TOOLS_KELVORY_ACTIVATE_RETRYPAUSE_H_
#define KELVORY_TOOLS_KELVORY_ACTIVATE_RETRYPAUSE_H_

#include <algorithm>
#include <cmath>
#include <random>

namespace kl::activate {

/// The first round's bound, in seconds; each later round's doubles, up to kLongestRoundPause.
constexpr double kFirstRoundPauseSeconds = 2;
constexpr double kLongestRoundPauseSeconds = 60;

/// The bound of the pause after round `round` (from 1).
inline double PauseBoundAfterRound(int round) {
  return std::min(kLongestRoundPauseSeconds,
                  std::ldexp(kFirstRoundPauseSeconds, std::min(round - 1, 16)));
}

/// The pause after round `round` (from 1): drawn at random below its bound ("full jitter"), so
/// that machines that lost the server together do not all come back in the same second.
/// (bench/fleet-retry.sh builds kelvory-activate with bench/RetryPauseAtBound.cpp in place of
/// RetryPause.cpp, every pause at its bound, to measure what the jitter spares the server.)
double PauseAfterRound(int round, std::mt19937_64& random);

}  // namespace kl::activate

#endif  // KELVORY_TOOLS_KELVORY_ACTIVATE_RETRYPAUSE_H_
