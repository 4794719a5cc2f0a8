#include "model/ImageDiff.h"

#include <algorithm>
#include <cstdio>
#include <span>

namespace mzr {
namespace {

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const auto b : bytes) {
    char part[4];
    std::snprintf(part, sizeof part, "%02X", static_cast<unsigned>(b));
    if (!text.empty()) text += ' ';
    text += part;
  }
  return text;
}

std::span<const std::uint8_t> BytesOf(const ParameterImage& image, const FieldElement& e) {
  return image.All().subspan(static_cast<std::size_t>(e.address), static_cast<std::size_t>(e.size));
}

}  // namespace

std::vector<ImageDifference> DiffImages(const ParameterImage& a, const ParameterImage& b) {
  std::vector<ImageDifference> differences;
  for (const auto& e : AllElements()) {
    const auto bytesA = BytesOf(a, e);
    const auto bytesB = BytesOf(b, e);
    if (std::ranges::equal(bytesA, bytesB)) continue;
    // Texts are quoted so an empty or blank one still shows.
    const auto shown = [&e](const ParameterImage& image) {
      const std::string text = DisplayText(image, e);
      return e.kind == FieldKind::text ? '"' + text + '"' : text;
    };
    const std::string textA = shown(a);
    const std::string textB = shown(b);
    std::string line = e.Name() + ": " + textA + " -> " + textB;
    if (textA == textB) {
      const std::string storedA = StoredText(a, e);
      const std::string storedB = StoredText(b, e);
      // Two out-of-list values share the unknown mark; bytes behind a text's terminator
      // share the text: say what is stored so the line shows the difference.
      line += storedA != storedB ? " (stored " + storedA + " -> " + storedB + ")"
                                 : " (bytes " + Hex(bytesA) + " -> " + Hex(bytesB) + ")";
    }
    differences.push_back({e, e.address, std::move(line)});
  }
  for (const int address : UncoveredBytes()) {
    const auto at = static_cast<std::size_t>(address);
    const auto va = a.All().subspan(at, 1);
    const auto vb = b.All().subspan(at, 1);
    if (va[0] != vb[0]) {
      differences.push_back(
          {std::nullopt, address, "byte " + std::to_string(address) + " (carried): 0x" + Hex(va) + " -> 0x" + Hex(vb)});
    }
  }
  return differences;
}

}  // namespace mzr
