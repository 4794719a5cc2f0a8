#pragma once
// The window's regions are laid out in client pixels of the whole 946 x 605 window, whose
// top 21 pixels hold the menu bar. Widgets live on the central widget below it.

#include <QRect>
#include <QWidget>

namespace mzr {

inline constexpr int kClientWidth = 946;
inline constexpr int kClientHeight = 605;
inline constexpr int kMenuBarHeight = 21;
inline constexpr int kStatusBarHeight = 19;

// Places widget at bounds given in window client pixels.
inline void PlaceAt(QWidget* widget, const QRect& clientBounds) {
  widget->setGeometry(clientBounds.translated(0, -kMenuBarHeight));
}

inline QRect ToCentral(const QRect& clientBounds) { return clientBounds.translated(0, -kMenuBarHeight); }

}  // namespace mzr
