// mzr4700-sim: one or many simulated MZR4700 units on the loopback network.

#include <cstdio>
#include <string>
#include <variant>

#include "SimOptions.h"
#include "Simulator.h"

int main(int argc, char** argv) {
  using namespace mzr::sim;
  Simulator::HoldStopSignals();
  auto parsed = ParseSimOptions(argc, argv);
  if (const auto* problem = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr, "mzr4700-sim: %s\n\n%s", problem->c_str(), kUsageText);
    return 2;
  }
  const SimOptions& options = std::get<SimOptions>(parsed);
  if (options.help) {
    std::fputs(kUsageText, stdout);
    return 0;
  }
  if (options.version) {
    std::fputs("mzr4700-sim " MZR_VERSION_TEXT "\n", stdout);
    return 0;
  }
  Simulator simulator(options);
  std::string error;
  if (const int status = simulator.Open(error); status != 0) {
    std::fprintf(stderr, "mzr4700-sim: %s\n", error.c_str());
    return status;
  }
  // With the audio on standard output, the ready line goes to stderr.
  std::FILE* readyTo = options.audioOut == std::string("-") ? stderr : stdout;
  std::fputs("ready\n", readyTo);
  std::fflush(readyTo);
  return simulator.Run();
}
