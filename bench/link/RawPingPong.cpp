// The anchor of the link benchmark: the same exchange as a write and its acknowledgement
// (a request of R bytes, an answer of A bytes), between two minimal POSIX UDP sockets in two
// processes on loopback, with no Qt, no frame codec and no image: what the kernel's loopback
// path alone costs, to set the program's write -> acknowledgement time against.
// Usage: mzr4700-raw-ping-pong [--round-trips N] [--request R] [--reply A]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

int BoundLoopbackSocket(sockaddr_in& address) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

double NowMicros() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(at, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  long roundTrips = 2000;
  std::size_t requestBytes = 39;
  std::size_t replyBytes = 38;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--round-trips") == 0) roundTrips = std::max(1L, std::atol(argv[i + 1]));
    if (std::strcmp(argv[i], "--request") == 0) requestBytes = std::clamp<std::size_t>(std::atol(argv[i + 1]), 1, 1500);
    if (std::strcmp(argv[i], "--reply") == 0) replyBytes = std::clamp<std::size_t>(std::atol(argv[i + 1]), 1, 1500);
  }

  sockaddr_in echoAddress{};
  sockaddr_in clientAddress{};
  const int echo = BoundLoopbackSocket(echoAddress);
  const int client = BoundLoopbackSocket(clientAddress);
  if (echo < 0 || client < 0) {
    std::fprintf(stderr, "cannot bind a loopback UDP socket: %s\n", std::strerror(errno));
    return 1;
  }

  const pid_t child = ::fork();
  if (child < 0) return 1;
  if (child == 0) {
    // The answering side: every request gets one answer of the reply size, until a request of
    // a single byte says stop.
    ::close(client);
    std::vector<char> in(2048);
    std::vector<char> out(replyBytes, 'a');
    for (;;) {
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      const ssize_t n = ::recvfrom(echo, in.data(), in.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 1) ::_exit(0);
      ::sendto(echo, out.data(), out.size(), 0, reinterpret_cast<const sockaddr*>(&from), fromLength);
    }
  }
  ::close(echo);

  std::vector<char> request(std::max<std::size_t>(requestBytes, 2), 'r');
  request.resize(requestBytes == 1 ? 2 : requestBytes);  // one byte is the stop request
  std::vector<char> answer(2048);
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(roundTrips));
  const timeval limit{2, 0};
  ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  long lost = 0;
  for (long i = 0; i < roundTrips; ++i) {
    const double start = NowMicros();
    ::sendto(client, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&echoAddress),
             sizeof echoAddress);
    const ssize_t n = ::recv(client, answer.data(), answer.size(), 0);
    if (n != static_cast<ssize_t>(replyBytes)) {
      ++lost;
      continue;
    }
    micros.push_back(NowMicros() - start);
  }
  const char stop = 0;
  ::sendto(client, &stop, 1, 0, reinterpret_cast<const sockaddr*>(&echoAddress), sizeof echoAddress);
  ::waitpid(child, nullptr, 0);
  if (micros.empty()) {
    std::fprintf(stderr, "no answer came back\n");
    return 1;
  }
  std::printf("raw UDP ping-pong (%ld round trips, %zu-byte request, %zu-byte answer): median %.1f us, p99 %.1f us, "
              "max %.1f us, lost %ld\n",
              roundTrips, request.size(), replyBytes, Percentile(micros, 0.5), Percentile(micros, 0.99),
              Percentile(micros, 1.0), lost);
  return 0;
}
