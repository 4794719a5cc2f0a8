#pragma once
// The seven channel tabs in the middle of the window (left, center, right, left surround,
// right surround, subwoofer, monitor) over one shared page that shows the selected
// channel. The response graph goes into graphSlot().

#include <QWidget>

class QFrame;
class QTabBar;

namespace mzr {

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
  // A 634 x 195 place on the page for the response graph; the graph widget fills it.
  QWidget* graphSlot() const { return m_graphSlot; }
  void setGraphWidget(QWidget* graph);

  // Tab captions in the current language.
  void ApplyTabLanguage();

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
};

}  // namespace mzr
