#pragma once
// The seven channel tabs in the middle of the window (left, center, right, left surround,
// right surround, subwoofer, monitor) over one shared page that shows the selected
// channel, with the channel's combined response graph.

#include <QWidget>

class QCheckBox;
class QFrame;
class QTabBar;

namespace mzr {

class ResponseGraphWidget;
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

  // The channel page's test-signal box (suiCheckBox14); its handler is the output drawer's.
  QCheckBox* channelTestBox() const { return m_channelTestBox; }

  // Steps 3, 4, 5 and 7 of the refresh of every editor. Each does its work only on the tabs
  // it serves (graphic equalizer and tone: 0 to 4; subwoofer: 5), sets refreshing to 1
  // when it does, and leaves clearing it to its caller.
  void RefreshGraphicEq();
  void RefreshSubwooferPanel();
  void RefreshTone();
  void RefreshMonitor();

  // Tab captions in the current language.
  void ApplyTabLanguage();
  // The channel page's own texts (the test-signal box, Flat, the shelf captions).
  void ApplyPageLanguage();
  // The subwoofer panel's texts (low-pass switch, slope group caption).
  void ApplySubwooferLanguage();

 signals:
  void currentChanged(int index);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void TabChanged(int index);

  UiContext& m_context;
  QTabBar* m_tabs = nullptr;
  QFrame* m_page = nullptr;
  QWidget* m_graphSlot = nullptr;
  ResponseGraphWidget* m_graph = nullptr;
  QCheckBox* m_channelTestBox = nullptr;
};

}  // namespace mzr
