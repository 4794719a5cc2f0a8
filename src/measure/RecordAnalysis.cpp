#include "measure/RecordAnalysis.h"

#include "measure/AnalyserBands.h"
#include "measure/FramePowers.h"

namespace mzr {

std::variant<RecordSpectrum, std::string> AnalyseRecord(std::span<const float> samples) {
  const std::size_t used = samples.size() / kRecordHop * kRecordHop;
  if (used < static_cast<std::size_t>(kAnalyserPoints)) {
    return std::string("the capture is too short for the analyser: ") + std::to_string(samples.size()) +
           " samples, it needs at least " + std::to_string(kAnalyserPoints);
  }
  const std::span<const float> record = samples.first(used);
  FramePowers powers;
  for (std::size_t start = 0; start < used; start += kRecordHop) powers.AddFrame(record, start);
  RecordSpectrum spectrum;
  spectrum.thirdDb = powers.BandLevels(ThirdOctaveBands());
  spectrum.fineDb = powers.BandLevels(TwentyFourthOctaveBands());
  for (double& db : spectrum.fineDb) db += kFineToThirdOctaveDb;
  spectrum.samplesUsed = used;
  spectrum.frames = powers.frames();
  return spectrum;
}

}  // namespace mzr
