#pragma once
// The bass and treble shelves of a full-range channel: gain bars TrackBar2 (bass) and
// TrackBar1 (treble), 0..120 with the gain 60 minus the position, their texts Edit1 and
// Edit2, and the turnover bars TrackBar3 (bass, 0..10) and TrackBar32 (treble, 0..9) with
// their corner labels Edit3 and Edit31. On the subwoofer tab only TrackBar3 stays, and it
// sets the low-pass frequency of the subwoofer instead.

#include <QWidget>
#include <functional>

class QLabel;
class QSlider;
class QTabBar;

namespace mzr {

struct ToneControl;
struct UiContext;

class TonePanel final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(TonePanel)

 public:
  static constexpr int kWidth = 196;
  static constexpr int kHeight = 120;
  // The part of the panel the subwoofer panel leaves uncovered starts here.
  static constexpr int kCornerColumnLeft = 98;

  // What a tone edit runs after storing and sending: the page's tone refresher, or on the
  // subwoofer tab its subwoofer refresher.
  struct Refreshers {
    std::function<void()> refreshTone;
    std::function<void()> refreshSubwooferPanel;
  };

  TonePanel(UiContext& context, const QTabBar& tabs, Refreshers refreshers, QWidget* parent);

  // Bars and texts from toneControl[ch].
  void Refresh(int ch);
  // TrackBar3 and Edit3 on the subwoofer tab: the low-pass corner index.
  void ShowLowPassCorner(int index);
  // Which controls a tab shows: all on tabs 0 to 4, TrackBar3 and its texts on tab 5.
  void ShowFor(bool subwooferTab);
  // Both gain bars to the middle; each bar that moves runs its handler.
  void Flatten();
  // Captions (rows 61 to 64) and accessible names in the current language.
  void ApplyLanguage();

 private:
  void OnBassGainMoved(int position);  // TrackBar2Change
  void OnTrebleGainMoved(int position);  // TrackBar1Change
  void OnBassFreqMoved(int position);  // TrackBar3Change
  void OnTrebleFreqMoved(int position);  // TrackBar32Change
  // Store done: send, then the refresher, with refreshing held at 1 around both.
  void SendAndRefresh(int ch, bool bass, const ToneControl& tone);
  void ApplyAccessibleNames();

  UiContext& m_context;
  const QTabBar& m_tabs;
  Refreshers m_refreshers;
  bool m_subwooferTab = false;
  QLabel* m_bassCaption;    // StaticText27
  QLabel* m_trebleCaption;  // StaticText28
  QLabel* m_bassFreqCaption;    // StaticText31
  QLabel* m_trebleFreqCaption;  // StaticText32
  QSlider* m_bassGain;      // TrackBar2
  QSlider* m_trebleGain;    // TrackBar1
  QSlider* m_bassFreq;      // TrackBar3
  QSlider* m_trebleFreq;    // TrackBar32
  QLabel* m_bassGainText;   // Edit1
  QLabel* m_trebleGainText; // Edit2
  QLabel* m_bassFreqText;   // Edit3
  QLabel* m_trebleFreqText; // Edit31
};

}  // namespace mzr
