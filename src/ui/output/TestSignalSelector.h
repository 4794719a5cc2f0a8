#pragma once
// Which output plays the test signal, and which signal. The six output boxes of the output
// drawer and the channel page's box (suiCheckBox14) choose the output, the drawer's generator
// group the signal. The signal plays on at most one output: a box handler sets refreshing to
// 1 while it unchecks the other boxes, so the events those changes raise are ignored, and the
// image's testSignalMask never holds more than one bit. Owned by the window. The drawer is
// made when it is first opened; the selector asks for it when it needs the drawer's controls
// and takes them over in Attach.

#include <QObject>

#include <cstdint>
#include <functional>

class QCheckBox;

namespace mzr {

class OutputDrawer;
struct UiContext;

class TestSignalSelector final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(TestSignalSelector)

 public:
  // makeDrawer makes the output drawer (six output boxes and the generator group), which
  // then calls Attach; channelBox: suiCheckBox14 on the channel pages, owned by the equalizer
  // page. Both outlive the selector's use of them.
  TestSignalSelector(UiContext& context, std::function<void()> makeDrawer, QCheckBox* channelBox,
                     QObject* parent = nullptr);

  // The output drawer was made: its boxes and generator group join the rule.
  void Attach(OutputDrawer& drawer);

  // A search, a disconnect or a network-settings change: the generator back to item 0 and
  // every test-signal box unchecked; the handlers of the controls that change run.
  void ResetTestSignal();
  // After an undo or redo put the test-signal bytes back: the boxes and the generator show
  // the image's mask and type. Called with refreshing 1; nothing is stored or sent.
  void ShowTestSignal();

 private:
  // Handlers; slot is the Tag of the output box that raised the event.
  void OnGeneratorChosen(int item);  // suiRadioGroup3Click
  void OnOutputTestBoxToggled(int slot);  // suiCheckBox6Click
  void OnChannelTestBoxToggled();  // suiCheckBox14Click

  // The output drawer, made first if it is not yet.
  OutputDrawer& Drawer();

  // The generator item the group shows (0 when none is checked).
  std::uint8_t ShownGeneratorType();

  // The six output boxes and suiCheckBox14 read the name of the current test signal.
  void ShowGeneratorName(const QString& name);

  UiContext& m_context;
  std::function<void()> m_makeDrawer;
  OutputDrawer* m_drawer = nullptr;
  QCheckBox* m_channelBox;
};

}  // namespace mzr
