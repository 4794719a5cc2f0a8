#include "workspace/EditIntents.h"

#include <algorithm>
#include <utility>

namespace mzr {
namespace {

constexpr std::uint8_t kMasterMuteBit = 0x01;
constexpr std::uint8_t kLrToSubwooferBit = 0x02;
constexpr int kBandGainLimit = 60;  // tenths of a dB either way

EditPlan OneEdit(EditedField field, int index, std::function<void(ParameterImage&)> change) {
  EditPlan plan;
  plan.edits.push_back({field, index, std::move(change)});
  return plan;
}

EditPlan ImageOnly(std::function<void(ParameterImage&)> change) {
  EditPlan plan;
  plan.edits.push_back({std::nullopt, 0, std::move(change)});
  return plan;
}

EditPlan MasterFlag(std::uint8_t bit, bool on) {
  return OneEdit(EditedField::masterFlags, 0, [bit, on](ParameterImage& image) {
    const std::uint8_t flags = image.masterFlags();
    image.setMasterFlags(static_cast<std::uint8_t>(on ? (flags | bit) : (flags & ~bit)));
  });
}

}  // namespace

int EditIntents::ShownFader(const ParameterImage& image) {
  const int input = image.inputSource();
  return input < kInputsWithFader ? std::clamp<int>(image.faderLevel(input), 0, kFaderMax) : 0;
}

EditPlan EditIntents::Choose(int input) const {
  if (input < 0 || input >= kInputs) {
    return EditPlan::Refused(QStringLiteral("input %1 does not exist: the inputs are 0 to %2").arg(input).arg(kInputs - 1));
  }
  EditPlan plan;
  // The window's input refresh moves the fader to the new input's level; the fader sends
  // that move (and stores the level it shows) before the input's frame leaves.
  ParameterImage chosen = m_image;
  chosen.setInputSource(static_cast<std::uint8_t>(input));
  const int shown = ShownFader(chosen);
  if (input < kInputsWithFader && shown != ShownFader(m_image)) {
    plan.edits.push_back({EditedField::faderLevel, 0, [input, shown](ParameterImage& image) {
                            image.setFaderLevel(input, static_cast<std::uint8_t>(shown));
                          }});
  }
  plan.edits.push_back({EditedField::inputSource, 0, [input](ParameterImage& image) {
                          image.setInputSource(static_cast<std::uint8_t>(input));
                        }});
  return plan;
}

EditPlan EditIntents::ChooseInput(int input) const {
  if (m_image.testSignalMask() != 0) {
    return EditPlan::Refused(QStringLiteral("a test signal is playing: the input stays as it is"));
  }
  return Choose(input);
}

EditPlan EditIntents::ChooseFormat(int input) const { return Choose(input); }

EditPlan EditIntents::SetFader(int level) const {
  const int input = m_image.inputSource();
  if (input >= kInputsWithFader) {
    return EditPlan::Refused(
        QStringLiteral("no input is chosen (input code %1): the fader moves nothing").arg(input));
  }
  if (level < 0 || level > kFaderMax) {
    return EditPlan::Refused(QStringLiteral("fader level %1 is outside 0 to %2").arg(level).arg(kFaderMax));
  }
  return OneEdit(EditedField::faderLevel, 0, [input, level](ParameterImage& image) {
    image.setFaderLevel(input, static_cast<std::uint8_t>(level));
  });
}

EditPlan EditIntents::SetMasterMute(bool on) const { return MasterFlag(kMasterMuteBit, on); }

EditPlan EditIntents::ToggleMasterMute() const {
  return OneEdit(EditedField::masterFlags, 0, [](ParameterImage& image) {
    image.setMasterFlags(static_cast<std::uint8_t>(image.masterFlags() ^ kMasterMuteBit));
  });
}

EditPlan EditIntents::SetBandGain(int row, int band, int gain) const {
  if (row < 0 || row >= kChannelRows || band < 0 || band >= kGeqBands) {
    return EditPlan::Refused(QStringLiteral("band %1 of row %2 does not exist").arg(band).arg(row));
  }
  if (gain < -kBandGainLimit || gain > kBandGainLimit) {
    return EditPlan::Refused(QStringLiteral("band gain %1 is outside -%2 to %2").arg(gain).arg(kBandGainLimit));
  }
  return OneEdit(EditedField::geqGain, kGeqRowStride * row + band, [row, band, gain](ParameterImage& image) {
    image.setGeqGain(row, band, static_cast<std::int8_t>(gain));
  });
}

EditPlan EditIntents::SetField(const QString& name, const QString& value) const {
  auto parsed = ParseAssignment(name + QLatin1Char('=') + value);
  if (const auto* refusal = std::get_if<QString>(&parsed)) return EditPlan::Refused(*refusal);
  return SetField(std::get<FieldEdit>(parsed));
}

EditPlan EditIntents::SetField(const FieldEdit& edit) const {
  const QString name = QString::fromStdString(edit.element.Name());
  if (!edit.edited) {
    return EditPlan::Refused(
        QStringLiteral("%1 reaches a unit only with the whole image: set it in a project file and restore that").arg(name));
  }
  ParameterImage probe = m_image;
  if (!ApplyEdit(probe, edit)) return EditPlan::Refused(QStringLiteral("%1: the text does not fit").arg(name));
  return OneEdit(*edit.edited, edit.editIndex, [edit](ParameterImage& image) { (void)ApplyEdit(image, edit); });
}

EditPlan EditIntents::ApplyFit(std::span<const AlignedEdit> edits, const ParameterImage& fit) const {
  EditPlan plan;
  plan.oneStep = true;
  for (const AlignedEdit& edit : edits) {
    // The field's own span, with the fit's bytes: what its editor would store and send.
    const WriteSpan span = WriteSpanFor(edit.field, edit.index);
    const auto bytes = fit.Bytes(span.address, span.count);
    if (!bytes) continue;
    std::vector<std::uint8_t> fitted(bytes->begin(), bytes->end());
    plan.edits.push_back({edit.field, edit.index, [address = span.address, fitted](ParameterImage& image) {
                            (void)image.Store(address, fitted);
                          }});
  }
  return plan;
}

EditPlan EditIntents::Store() const {
  EditPlan plan;
  plan.frames.push_back({PlannedFrame::Kind::Store, {}});
  return plan;
}

EditPlan EditIntents::Download() const {
  EditPlan plan;
  plan.frames.push_back({PlannedFrame::Kind::Span, kWholeImage});
  plan.frames.push_back({PlannedFrame::Kind::Store, {}});
  return plan;
}

EditPlan EditIntents::SetProfileText(TextField field, const std::string& utf8) const {
  return ImageOnly([field, utf8](ParameterImage& image) { (void)image.SetText(field, utf8); });
}

EditPlan EditIntents::CopyEqualizer(int source, std::span<const int> targets) const {
  std::vector<int> rows(targets.begin(), targets.end());
  return ImageOnly([source, rows](ParameterImage& image) {
    for (const int target : rows) {
      // Bands 0..26 only: byte 27 of a row belongs to the row and is carried, never copied.
      for (int band = 0; band < kGeqBands; ++band) image.setGeqGain(target, band, image.geqGain(source, band));
      image.setToneControl(target, image.toneControl(source));
    }
  });
}

EditPlan EditIntents::SetSubLowPassSlope(int slope) const {
  return OneEdit(EditedField::subLpf, 0,
                 [slope](ParameterImage& image) { image.setSubLpfSlope(static_cast<std::uint8_t>(slope)); });
}

EditPlan EditIntents::SetLrToSubwoofer(bool on) const { return MasterFlag(kLrToSubwooferBit, on); }

EditPlan EditIntents::SetTestSignalForMeasurement(std::uint8_t mask, std::uint8_t type) const {
  EditPlan plan = OneEdit(EditedField::testSignal, 0, [mask, type](ParameterImage& image) {
    image.setTestSignalMask(mask);
    image.setTestSignalType(type);
  });
  plan.transient = true;
  return plan;
}

EditPlan EditIntents::Unsent(EditPlan plan) {
  for (PlannedEdit& edit : plan.edits) edit.field.reset();
  plan.frames.clear();
  return plan;
}

}  // namespace mzr
