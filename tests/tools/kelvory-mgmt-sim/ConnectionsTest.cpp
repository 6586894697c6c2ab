// The simulator's connection limiting: past its cap, which open connection is shed; and how long
// it waits for a request's bytes.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "Connections.h"
#include "DeadlineStream.h"

namespace {

// True once the peer of `fd` has shut the connection (a read finds its end at once).
bool Shut(int fd) {
  char byte;
  return recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

// Each row: which connections are answering when a third opens past a cap of two (none shed
// when every other is answering), and which one is shed: the one that has waited longest for its
// request, not the newest, and never the one just opened.
TEST(SimulatorConnections, ANewConnectionShedsTheOneThatWaitedLongest) {
  const struct {
    std::vector<bool> answering;  // of the first two
    int shed;                     // index of the connection shut, -1 for none
  } cases[] = {{{false, false}, 0}, {{true, false}, 1}, {{true, true}, -1}};
  for (const auto& c : cases) {
    kl::sim::Connections connections(2);
    std::vector<int> ours, peers;
    for (int i = 0; i < 3; ++i) {
      int pair[2];
      ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
      ours.push_back(pair[0]), peers.push_back(pair[1]);
      const kl::sim::Connections::Handle handle = connections.Open(pair[0]);
      if (i < 2 && c.answering[i]) connections.Answer(handle);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));  // distinct waiting times
    }
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(Shut(peers[i]), i == c.shed) << "connection " << i << ", row shedding " << c.shed;
      close(ours[i]), close(peers[i]);
    }
  }
}

// A read waits the shorter of the per-read limit (2 s) and what is left of the request's
// (4 s): a silent client is given up after 2 s, and a read begun 3 s into the request after 1.
TEST(SimulatorConnections, AReadWaitsTheShorterOfItsLimitAndTheRequests) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  kl::sim::DeadlineStream stream(pair[0], [] {});
  const auto waited = [&] {
    char byte;
    const auto start = kl::sim::Clock::now();
    EXPECT_LE(stream.read(&byte, 1), 0);
    return std::chrono::duration<double>(kl::sim::Clock::now() - start).count();
  };
  stream.Await();
  const double first = waited();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double second = waited();
  printf("waited %.2f s, then %.2f s\n", first, second);
  EXPECT_GT(first, 1.8);
  EXPECT_LT(first, 2.5);
  EXPECT_GT(second, 0.6);
  EXPECT_LT(second, 1.5);
  close(pair[0]), close(pair[1]);
}

}  // namespace
