#pragma once
// The program's look, kept in one place: the style (SkinStyle, Fusion with the skin drawn
// in code), its palette, the font, and the few colours that code needs (drawer backgrounds).
// What each widget looks like is its SkinRole (SkinRole.h). Captions that must stand out (the
// selected input, muted and inverted outputs) are marked with SetAlert, which the style paints red.

#include <QColor>
#include <QString>

class QApplication;
class QWidget;

namespace mzr {

class Skin final {
 public:
  static const QColor kSkyBlue;     // input drawer
  static const QColor kMoneyGreen;  // output drawer
  static const QColor kListGrey;    // device list drawer

  // Style, palette and font for the whole program.
  static void Apply(QApplication& app);
  // The face cut at build time from the system's CJK face with the glyphs of the program's
  // own texts (cmake/MzrCaptionFont.cmake); registers it once. False when the program was
  // built without it: then the captions come from the system's face.
  static bool LoadCaptionFace();
  static const QString kCaptionFamily;
  // Red caption on (alert) or the normal caption colour.
  static void SetAlert(QWidget* widget, bool alert);
  static bool IsAlert(const QWidget* widget);
};

}  // namespace mzr
