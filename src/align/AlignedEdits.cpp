#include "align/AlignedEdits.h"

#include "dsp/FilterDesign.h"

namespace mzr {
namespace {

void FullRangeEdits(const ParameterImage& before, const ParameterImage& after, int channel, std::vector<AlignedEdit>& edits) {
  const std::string ch = std::to_string(channel);
  for (int band = 0; band < kGeqBands; ++band) {
    if (before.geqGain(channel, band) != after.geqGain(channel, band)) {
      edits.push_back({EditedField::geqGain, kGeqRowStride * channel + band,
                       "geqGain[" + ch + "][" + std::to_string(band) + "]"});
    }
  }
  const ToneControl a = before.toneControl(channel);
  const ToneControl b = after.toneControl(channel);
  if (a.bassGain != b.bassGain || a.bassFreq != b.bassFreq) {
    edits.push_back({EditedField::toneBass, channel, "toneControl[" + ch + "] bass"});
  }
  if (a.trebleGain != b.trebleGain || a.trebleFreq != b.trebleFreq) {
    edits.push_back({EditedField::toneTreble, channel, "toneControl[" + ch + "] treble"});
  }
}

}  // namespace

std::vector<AlignedEdit> AlignedEdits(const ParameterImage& before, const ParameterImage& after, int channel) {
  std::vector<AlignedEdit> edits;
  if (channel == kSubwooferChannel) {
    for (int k = 0; k < 2; ++k) {
      const SubPeq a = before.subPeq(k);
      const SubPeq b = after.subPeq(k);
      const std::string section = "subPeq[" + std::to_string(k) + "]";
      if (a.freq != b.freq || a.gain != b.gain) edits.push_back({EditedField::subPeqFreqGain, k, section + " frequency and gain"});
      if (a.qIndex != b.qIndex) edits.push_back({EditedField::subPeqQ, k, section + ".qIndex"});
    }
  } else {
    FullRangeEdits(before, after, channel, edits);
  }
  // The output level only when it was asked for (--set-level): last, as its editor sends it.
  if (before.outputLevel(channel) != after.outputLevel(channel)) {
    edits.push_back({EditedField::outputLevel, channel, "outputLevel[" + std::to_string(channel) + "]"});
  }
  return edits;
}

}  // namespace mzr
