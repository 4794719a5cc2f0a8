#pragma once
// A drawer docked to one edge of the window. Unpinned, it shows only a 10-pixel bar with
// its caption; the mouse on the bar opens it over the window, and a periodic check closes
// it again once the mouse has left. The pin button keeps it open. A drawer without a pin
// (the device list) is shown pinned open and slides out in fixed steps.

#include <QColor>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class QToolButton;

namespace mzr {

class SideChannel final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(SideChannel)

 public:
  enum class Edge { Left, Right };

  struct Options {
    Edge edge = Edge::Left;
    bool pinnable = true;
    QColor colour;
    int checkIntervalMs = 1000;  // how often an open, unpinned drawer looks for the mouse
    int openStep = 0;            // pixels per step when sliding out; 0 opens at once
    int stepIntervalMs = 15;
  };

  static constexpr int kBarWidth = 10;
  static constexpr int kTitleHeight = 22;

  // bounds: the open drawer in parent coordinates.
  SideChannel(const QString& name, const QRect& bounds, Options options, QWidget* parent);

  void setCaption(const QString& caption);
  QString caption() const { return m_caption; }

  // Puts content below the title, filling the drawer; the drawer takes ownership.
  void setContent(QWidget* content);
  QWidget* content() const { return m_content; }
  // Contents made when the drawer first opens: make is called once, before the drawer shows
  // anything but its bar, and is to call setContent. A drawer never opened costs nothing.
  void setContentMaker(std::function<void()> make) { m_makeContent = std::move(make); }

  bool isOpen() const { return m_open; }
  bool isPinned() const { return m_pinned; }
  bool isPinnable() const { return m_options.pinnable; }
  QRect openBounds() const { return m_bounds; }
  QToolButton* pinButton() const { return m_pinButton; }

  void setPinned(bool pinned);
  void Open();
  void Collapse();
  // The device list's way to appear: shown, pinned and sliding out to full width.
  void ShowPinnedOpen();

  // One check of the mouse: an open, unpinned drawer closes when globalPos is outside it.
  void CheckMouse(const QPoint& globalPos);

 signals:
  void openChanged(bool open);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void MakeContent();
  void SetWidth(int width);
  void StepOpen();
  void LayoutChildren();
  QRect BarRect() const;

  QRect m_bounds;
  Options m_options;
  QString m_caption;
  bool m_open = false;
  bool m_pinned = false;
  QWidget* m_title = nullptr;
  QLabel* m_titleLabel = nullptr;
  QToolButton* m_pinButton = nullptr;
  QWidget* m_content = nullptr;
  std::function<void()> m_makeContent;
  QTimer m_checkTimer;
  QTimer m_stepTimer;
};

}  // namespace mzr
