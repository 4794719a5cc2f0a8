#pragma once
// What an edit means, decided once for the window, the bridge and the companion: one call
// per thing a person or a script can do, each returning a plan (the change to the image and
// the frames that carry it, in order) or a refusal that says why. Nothing here changes the
// image or sends: the edit operation carries a plan out, at once for the window
// (EditOperation::Carry) or one acknowledged frame after another for the bridge and the
// companion (EditOperation::Enqueue). The plans are built from the image as it is when the
// intent is called.

#include <QString>

#include <functional>
#include <span>
#include <string>

#include "align/AlignedEdits.h"
#include "link/EditPlan.h"
#include "model/ParameterImage.h"
#include "workspace/FieldEdit.h"

namespace mzr {

class EditIntents final {
  Q_DISABLE_COPY_MOVE(EditIntents)

 public:
  static constexpr int kInputs = 5;            // the input buttons, codes 0..4
  static constexpr int kInputsWithFader = 8;   // the fader table has a level for codes 0..7
  static constexpr int kFaderMax = 100;        // the main fader's range is 0..100

  // image is the workspace's and outlives the intents.
  explicit EditIntents(const ParameterImage& image) : m_image(image) {}

  // The fader level the main fader shows: the chosen input's level within the fader's range,
  // 0 while an input code past the fader table is chosen.
  static int ShownFader(const ParameterImage& image);

  // An input button: refused while a test signal plays. When the fader shows another level
  // for the new input, the faders' frame leaves first (the fader moves to that level and
  // stores it), then the input's; a click on the chosen input sends its frame again.
  EditPlan ChooseInput(int input) const;
  // The Format menu's item for input: as ChooseInput, also while a test signal plays.
  EditPlan ChooseFormat(int input) const;
  // The main fader at level (0..100) for the chosen input; refused while no input with a
  // fader is chosen.
  EditPlan SetFader(int level) const;
  // Master mute on or off, and the mute button's toggle.
  EditPlan SetMasterMute(bool on) const;
  EditPlan ToggleMasterMute() const;
  // One band of a graphic equalizer row (0..6) at gain tenths of a dB (-60..60).
  EditPlan SetBandGain(int row, int band, int gain) const;
  // A field by the field table's name and its value as a number or the text the program
  // shows ("outputLevel[2]", "-3.0dB"), as mzr4700ctl set takes it; the refusal says why
  // (an unknown name, a field no editor writes, a value out of range, a field that reaches a
  // unit only with the whole image).
  EditPlan SetField(const QString& name, const QString& value) const;
  EditPlan SetField(const FieldEdit& edit) const;
  // The fields a fit changed, each with its bytes from fit, in the list's order: one undo
  // step however many there are.
  EditPlan ApplyFit(std::span<const AlignedEdit> edits, const ParameterImage& fit) const;
  // The store command: the unit keeps what it holds over a power cut.
  EditPlan Store() const;
  // The whole image, then the store command.
  EditPlan Download() const;

  // Kept in the image and the project file only, no frame: a profile text; the EQ copy
  // (bands and tone of source into every target row; the whole image reaches the unit with
  // the download that follows it).
  EditPlan SetProfileText(TextField field, const std::string& utf8) const;
  EditPlan CopyEqualizer(int source, std::span<const int> targets) const;
  // The subwoofer's low-pass slope (0: switched off) and the left/right-to-subwoofer switch.
  // A refresh of the window stores them without a frame: Unsent() of the plan.
  EditPlan SetSubLowPassSlope(int slope) const;
  EditPlan SetLrToSubwoofer(bool on) const;
  // The test signal on the outputs of mask (a bit per output) with the given type, as the
  // output drawer's generator stores it, as a transient plan: the hall measurement turns
  // pink noise on for one channel and puts the unit's own signal back afterwards, which is
  // neither an undo step nor unsaved work.
  EditPlan SetTestSignalForMeasurement(std::uint8_t mask, std::uint8_t type) const;

  // plan with every frame left out: its changes are kept in the image only.
  static EditPlan Unsent(EditPlan plan);

 private:
  EditPlan Choose(int input) const;

  const ParameterImage& m_image;
};

}  // namespace mzr
