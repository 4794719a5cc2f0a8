#pragma once
// The looks the skin's style knows, one per widget. A widget is given its look once, where it
// is made (SetSkinRole), and the style reads nothing else about it: not its object name, not
// its ancestors. Object names stay free for the tests and the automation that find controls
// by them, and renaming or moving a widget never changes how it is drawn. The one state the
// style reads besides the role is the red caption of Skin::SetAlert.

#include <QVariant>
#include <QWidget>

namespace mzr {

enum class SkinRole : int {
  None = 0,  // the desk's own look: Fusion with the skin's palette and shapes

  // Captions (QLabel).
  LcdText,         // green digits in a dark box: a value read out beside its control
  PageLcdText,     // the same on the channel page, a size smaller
  ScaleCaption,    // the captions of scales (frequencies, decibels); also a ScaleCaptions widget
  OutputScale,     // the output drawer's fader scales and unit heads
  ScaleText,       // the scale printed under an input drawer's level bar
  HeadCaption,     // bold: drawer titles, the output drawer's column heads, input names
  SectionTitle,    // bold blue: a panel's section title
  FrameHeading,    // bold, on the desk's colour, cut into the top edge of an outlined frame

  // Buttons.
  InputKey,        // the large input keys, a red ring while selected
  OutputKey,       // polarity and mute: checkable, yet drawn raised when on
  NarrowKey,       // push buttons with a smaller face, so English captions stay whole

  // Check boxes and radio buttons with lamps of their region.
  OutputLamp,      // the output drawer: red check lamps, dark radio dots
  InputLamp,       // the input drawer: blue lamps
  PageLamp,        // the channel page: blue dots, no hover ring

  // Surfaces.
  ClientArea,      // the window's client area: a soft vertical gradient
  HeaderBand,      // the dark band under the menu bar
  DrawerTitle,     // a drawer's title strip
  ChannelPage,     // the equalizer's page under its tabs
  PanelBackground, // a panel on the channel page, filled with the page's colour
  SubSection,      // a rounded box grouping the controls of one section of a panel
  OutlineFrame,    // an outlined frame with no fill
  InputBox,        // one input's box in the input drawer

  // The unit list.
  UnitGrid,        // its darker grid lines
  UnitGridHeader,  // its blue header sections with white captions
};

namespace skinrole {
inline constexpr char kProperty[] = "skinRole";
}  // namespace skinrole

// The role a widget was given; None for any other.
inline SkinRole SkinRoleOf(const QWidget* widget) {
  if (widget == nullptr) return SkinRole::None;
  return static_cast<SkinRole>(widget->property(skinrole::kProperty).toInt());
}

// Gives the widget its look. Meant once, where the widget is made; a widget already polished
// is polished again so that the look takes at once.
void SetSkinRole(QWidget* widget, SkinRole role);

}  // namespace mzr
