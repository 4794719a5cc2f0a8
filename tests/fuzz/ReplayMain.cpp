// A stand-in for libFuzzer's driver, so every fuzz target also runs as an ordinary test
// with any compiler: it feeds the seed files, then a fixed number of deterministic
// mutations of them (byte flips, cuts, growth), to LLVMFuzzerTestOneInput. Under the
// sanitizer build this finds the same class of faults, only less deep than a real fuzzer.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

void Run(const Bytes& input) { LLVMFuzzerTestOneInput(input.data(), input.size()); }

Bytes Mutate(Bytes b, std::mt19937& rng) {
  const int edits = 1 + static_cast<int>(rng() % 8);
  for (int e = 0; e < edits; ++e) {
    switch (rng() % 5) {
      case 0:
        if (!b.empty()) b[rng() % b.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        break;
      case 1:
        if (!b.empty()) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
        break;
      case 2:
        if (!b.empty()) b.resize(rng() % b.size());
        break;
      case 3:
        b.insert(b.begin() + static_cast<std::ptrdiff_t>(b.empty() ? 0 : rng() % b.size()),
                 static_cast<std::size_t>(1 + rng() % 64), static_cast<std::uint8_t>(rng()));
        break;
      default: {
        // Interesting 16-bit values at a random even offset (addresses and counts).
        static const std::uint16_t kValues[] = {0, 1, 851, 852, 853, 0xFFFF, 3000, 3001, 890};
        if (b.size() >= 2) {
          const std::size_t at = (rng() % (b.size() - 1));
          const std::uint16_t v = kValues[rng() % std::size(kValues)];
          b[at] = static_cast<std::uint8_t>(v & 0xFF);
          b[at + 1] = static_cast<std::uint8_t>(v >> 8);
        }
      }
    }
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  long runs = 20000;
  std::vector<Bytes> seeds{Bytes{}};
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "-runs=", 6) == 0) {
      runs = std::strtol(argv[i] + 6, nullptr, 10);
      continue;
    }
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(argv[i])) {
      for (const auto& entry : std::filesystem::directory_iterator(argv[i])) files.push_back(entry.path());
    } else {
      files.emplace_back(argv[i]);
    }
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  for (const auto& seed : seeds) Run(seed);
  std::mt19937 rng(12345);
  for (long i = 0; i < runs; ++i) Run(Mutate(seeds[static_cast<std::size_t>(i) % seeds.size()], rng));
  std::printf("replayed %zu seeds and %ld mutations\n", seeds.size(), runs);
  return 0;
}
