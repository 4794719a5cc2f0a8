#pragma once
// The program's look drawn in code: Fusion underneath, with the skin's palette, and the
// shapes Fusion does not have (the dark menu and status bands, the faders' blue grooves and
// metal caps, the input keys, the LCD value texts, the region-specific lamps of the check
// boxes) painted here. A widget says what it is with its role (SkinRole, given where it is
// made) and, for a caption that needs attention, Skin::SetAlert; the style reads nothing else,
// neither object names nor ancestors. polish() gives a widget its face and colours, the draw
// functions its shape. Drawing in code costs nothing per widget, where an
// application-wide style sheet keeps rules, palettes and fonts for every one of them.

#include <QProxyStyle>

namespace mzr {

class SkinStyle final : public QProxyStyle {
 public:
  SkinStyle();

  // The desk's colours: window, text, fields, selection and tool tips.
  static QPalette Palette();
  QPalette standardPalette() const override;
  QIcon standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const override;

  void polish(QWidget* widget) override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override;
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override;
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                       const QWidget* widget) const override;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget) const override;

 private:
  bool DrawFrame(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
  void DrawSlider(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const;
  void DrawComboBox(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const;
  void DrawGroupBox(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const;
  void DrawScrollBar(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const;
  bool DrawIndicator(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const;
};

}  // namespace mzr
