#pragma once
// The maker's logo at the top right of the window. It only reports presses and releases;
// the window times the long press that opens the serial-number dialog.

#include <QWidget>

namespace mzr {

class LogoImage final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(LogoImage)

 public:
  explicit LogoImage(QWidget* parent = nullptr);

 signals:
  void pressed();
  void released();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace mzr
