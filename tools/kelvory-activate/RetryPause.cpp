#include "RetryPause.h"

namespace kl::activate {

double PauseAfterRound(int round, std::mt19937_64& random) {
  return std::uniform_real_distribution<double>(0, PauseBoundAfterRound(round))(random);
}

}  // namespace kl::activate
