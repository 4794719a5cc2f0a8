#pragma once
// The output drawer's contents (the right side channel, "输出设置"): a column per output
// slot 0 to 5 with level bar, delay bar, their texts, polarity, mute and test-signal box,
// the column heads and the signal generator group. It also serves the channel page's
// test-signal box (suiCheckBox14), which the equalizer page places and refreshes per tab.

#include <QWidget>

class QCheckBox;

namespace mzr {

struct UiContext;

class OutputDrawer final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(OutputDrawer)

 public:
  // channelTestBox: suiCheckBox14 on the channel pages, owned by the equalizer page.
  OutputDrawer(UiContext& context, QCheckBox* channelTestBox, QWidget* parent = nullptr);

  // Step 6 of the refresh of every editor: level, delay, polarity and mute of the six
  // output slots and the master mute colour.
  void RefreshOutputSection();
  // The drawer's captions in the current language (the drawer's own caption is the window's).
  void ApplyLanguage();
  // A search, a disconnect or a network-settings change: the generator back to item 0 and
  // every test-signal box unchecked.
  void ResetTestSignal();

 private:
  UiContext& m_context;
  QCheckBox* m_channelTestBox;
};

}  // namespace mzr
