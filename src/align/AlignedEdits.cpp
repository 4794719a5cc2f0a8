#include "align/AlignedEdits.h"

#include "dsp/FilterDesign.h"

namespace mzr {

std::vector<AlignedEdit> AlignedEdits(const ParameterImage& before, const ParameterImage& after, int channel) {
  const std::string ch = std::to_string(channel);
  std::vector<AlignedEdit> edits;
  if (channel == kSubwooferChannel) {
    for (int k = 0; k < 2; ++k) {
      const SubPeq a = before.subPeq(k);
      const SubPeq b = after.subPeq(k);
      const std::string section = "subPeq[" + std::to_string(k) + "]";
      if (a.freq != b.freq || a.gain != b.gain) edits.push_back({EditedField::subPeqFreqGain, k, section + " frequency and gain"});
      if (a.qIndex != b.qIndex) edits.push_back({EditedField::subPeqQ, k, section + ".qIndex"});
    }
    return edits;
  }
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
  return edits;
}

}  // namespace mzr
