#pragma once
// The seven channel tabs in the middle of the window (left, center, right, left surround,
// right surround, subwoofer, monitor) over one shared page that shows the selected
// channel: the response graph with its frequency and decibel labels, and under it the
// graphic equalizer and the shelves (tabs 0 to 4) or the subwoofer panel (tab 5); the
// monitor panel covers the whole page on tab 6. Each panel holds its own handlers; the page
// keeps the tab change, the refreshers, Flat and the channel's test-signal box.

#include <QWidget>
#include <array>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QTabBar;

namespace mzr {

class GraphicEqPanel;
class MonitorPanel;
class ResponseGraphWidget;
class SubwooferPanel;
class TonePanel;
struct UiContext;

class EqualizerPage final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(EqualizerPage)

 public:
  static constexpr int kTabCount = 7;
  static constexpr int kGraphWidth = 634;
  static constexpr int kGraphHeight = 195;

  EqualizerPage(UiContext& context, QWidget* parent);

  QTabBar* tabBar() const { return m_tabs; }
  int count() const;
  int currentIndex() const;
  void setCurrentIndex(int index);
  QString tabText(int index) const;

  // The page under the tabs, where the channel controls are placed.
  QFrame* page() const { return m_page; }
  // A 634 x 195 place on the page for the response graph, which fills it.
  QWidget* graphSlot() const { return m_graphSlot; }
  ResponseGraphWidget* graph() const { return m_graph; }

  // The channel page's test-signal box (suiCheckBox14); its handler is the TestSignalSelector's.
  QCheckBox* channelTestBox() const { return m_channelTestBox; }

  GraphicEqPanel* graphicEq() const { return m_bands; }
  TonePanel* tone() const { return m_tone; }
  // The subwoofer and monitor panels, made first if they are not yet (they are made when
  // their tab is first shown), with the image's values and the language the page applied.
  SubwooferPanel* subwooferPanel();
  MonitorPanel* monitorPanel();

  // Steps 3, 4, 5 and 7 of the refresh of every editor. Each does its work only on the tabs
  // it serves (graphic equalizer and tone: 0 to 4; subwoofer: 5; monitor: any), sets
  // refreshing to 1 when it does, and leaves clearing it to its caller.
  void RefreshGraphicEq();
  void RefreshSubwooferPanel();
  void RefreshTone();
  void RefreshMonitor();

  // The tab change: shows what the tab needs, refreshes it from the image and clears
  // refreshing. Also run by every paint of the graph, so uncovering the page brings it into
  // line with the image quietly (the refreshers hold refreshing at 1: nothing is sent).
  void OnChannelTabChanged(int index);  // OnChannelTabChanged
  // Flat: every gain bar of the tab to 0 dB, each moved bar through its own handler.
  void OnFlatClicked();  // suiButton22Click

  // Tab captions in the current language.
  void ApplyTabLanguage();
  // The channel page's own texts (the test-signal box, Flat, the shelf captions, the
  // monitor heads) and the accessible names of its controls.
  void ApplyPageLanguage();
  // The subwoofer panel's texts (low-pass switch, slope group caption).
  void ApplySubwooferLanguage();

 signals:
  void currentChanged(int index);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void TabChanged(int index);
  void BuildGraphLabels();
  void SetDecibelLabels(bool subwoofer);
  bool FullRangeTab() const;
  void ShowTestBoxFor(int channel);

  UiContext& m_context;
  QTabBar* m_tabs = nullptr;
  QFrame* m_page = nullptr;
  QWidget* m_graphSlot = nullptr;
  ResponseGraphWidget* m_graph = nullptr;
  QCheckBox* m_channelTestBox = nullptr;
  QPushButton* m_flat = nullptr;
  std::array<QLabel*, 5> m_leftDb{};   // StaticText92 .. StaticText96
  std::array<QLabel*, 5> m_rightDb{};  // StaticText22 .. StaticText26
  GraphicEqPanel* m_bands = nullptr;
  TonePanel* m_tone = nullptr;
  SubwooferPanel* m_subwoofer = nullptr;
  MonitorPanel* m_monitor = nullptr;
  bool m_languageApplied = false;  // the page's texts were set: panels made later take them
};

}  // namespace mzr
