#include "ui/SkinStyle.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTabBar>
#include <QToolButton>

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "ui/PaintedIcon.h"
#include "ui/Skin.h"
#include "ui/SkinRole.h"

namespace mzr {

namespace {

// ---- Colours -----------------------------------------------------------------------------

QColor Rgb(unsigned rgb, int alpha = 255) {
  return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                static_cast<int>(rgb & 0xFF), alpha);
}

constexpr unsigned kDesk = 0xdde2e8;           // windows and dialogs
constexpr unsigned kText = 0x1a222b;           // captions
constexpr unsigned kFieldText = 0x141a20;      // buttons, fields
constexpr unsigned kAccent = 0x3b7bc4;         // focus, hover, selection
constexpr unsigned kAlert = 0xd01818;          // captions that need attention
constexpr unsigned kDisabledText = 0x9aa4ae;
constexpr unsigned kControlBorder = 0x8591a0;
constexpr unsigned kPageBackground = 0xf5f7f9;  // the channel page and its panels
constexpr unsigned kFrameBorder = 0x7d8996;
constexpr unsigned kPopup = 0xfbfcfd;           // menus and tool tips
constexpr unsigned kScaleCaption = 0x3a4653;    // the captions of scales: frequencies, bands, decibels
constexpr int kScaleCaptionSize = 10;
constexpr unsigned kArrow = 0x39424c;           // the combo box's arrow, the menu bar's chevron

using Stops = std::initializer_list<std::pair<qreal, QColor>>;

// A gradient from start to end across a rectangle, as the skin's bands and buttons use.
QBrush Gradient(QPointF start, QPointF end, Stops stops) {
  QLinearGradient gradient(start, end);
  for (const auto& [at, colour] : stops) gradient.setColorAt(at, colour);
  return gradient;
}
QBrush Down(const QRectF& r, Stops stops) { return Gradient(r.topLeft(), r.bottomLeft(), stops); }
QBrush Across(const QRectF& r, Stops stops) { return Gradient(r.topLeft(), r.topRight(), stops); }

// A lamp or a dot: a radial gradient filling the rectangle's inscribed circle.
QBrush Lamp(const QRectF& r, qreal radius, Stops stops) {
  QRadialGradient gradient(r.center(), radius * std::min(r.width(), r.height()));
  for (const auto& [at, colour] : stops) gradient.setColorAt(at, colour);
  return gradient;
}

// A filled box with a one-pixel border (an invalid border colour: none) and round corners.
void Box(QPainter* p, const QRectF& r, const QBrush& fill, const QColor& border, qreal radius) {
  p->save();
  p->setRenderHint(QPainter::Antialiasing, radius > 0);
  p->setPen(border.isValid() ? QPen(border, 1) : QPen(Qt::NoPen));
  p->setBrush(fill);
  const QRectF inner = border.isValid() ? r.adjusted(0.5, 0.5, -0.5, -0.5) : r;
  if (radius > 0)
    p->drawRoundedRect(inner, radius, radius);
  else
    p->drawRect(inner);
  p->restore();
}

void HorizontalLine(QPainter* p, int x1, int x2, int y, const QColor& colour) {
  p->save();
  p->setRenderHint(QPainter::Antialiasing, false);
  p->setPen(colour);
  p->drawLine(x1, y, x2, y);
  p->restore();
}

void VerticalLine(QPainter* p, int x, int y1, int y2, const QColor& colour) {
  p->save();
  p->setRenderHint(QPainter::Antialiasing, false);
  p->setPen(colour);
  p->drawLine(x, y1, x, y2);
  p->restore();
}

// ---- What a widget is ----------------------------------------------------------------------

bool Is(const QWidget* widget, SkinRole role) { return SkinRoleOf(widget) == role; }

bool IsAlert(const QWidget* widget) { return widget != nullptr && Skin::IsAlert(widget); }

// The check boxes and radio buttons of three regions draw their own lamps.
enum class Lamps { Plain, OutputDrawer, InputDrawer, ChannelPage };

Lamps LampsOf(const QWidget* widget) {
  switch (SkinRoleOf(widget)) {
    case SkinRole::OutputLamp: return Lamps::OutputDrawer;
    case SkinRole::InputLamp: return Lamps::InputDrawer;
    case SkinRole::PageLamp: return Lamps::ChannelPage;
    default: return Lamps::Plain;
  }
}

int IndicatorSize(const QWidget* widget, int fallback) {
  switch (LampsOf(widget)) {
    case Lamps::OutputDrawer:
    case Lamps::ChannelPage: return 13;
    case Lamps::InputDrawer: return 14;
    case Lamps::Plain: break;
  }
  return fallback;
}

// ---- Faces and colours given at polish -------------------------------------------------------

// The face a widget inherits, with the skin's size and weight for it.
QFont Face(const QWidget* widget, int pixelSize, bool bold) {
  QFont font = widget->parentWidget() != nullptr ? widget->parentWidget()->font() : QApplication::font(widget);
  if (pixelSize > 0) font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

void SetTextColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette palette = widget->parentWidget() != nullptr ? widget->parentWidget()->palette() : QApplication::palette(widget);
  for (const auto group : {QPalette::Active, QPalette::Inactive}) palette.setColor(group, role, colour);
  widget->setPalette(palette);
}

void PolishLabel(QLabel* label) {
  const QWidget* parent = label->parentWidget();
  const SkinRole role = SkinRoleOf(label);
  int size = 0;
  bool bold = false;
  QColor colour;
  if (role == SkinRole::LcdText || role == SkinRole::PageLcdText) {
    const bool onPage = role == SkinRole::PageLcdText;
    QFont font = Face(label, onPage ? 10 : 11, false);
    font.setFamilies({QStringLiteral("DejaVu Sans Mono")});
    label->setFont(font);
    SetTextColour(label, QPalette::WindowText, Rgb(0x8af0a4));
    label->setContentsMargins(onPage ? 1 : 2, 1, onPage ? 1 : 2, 1);
    return;
  }
  if (qobject_cast<const QStatusBar*>(parent) != nullptr) {
    label->setFont(Face(label, 11, false));
    SetTextColour(label, QPalette::WindowText, Rgb(0xdde3ea));
    label->setContentsMargins(6, 0, 7, 0);
    return;
  }
  switch (role) {
    case SkinRole::OutputScale:
      size = 11;
      colour = Rgb(0x24303c);
      break;
    case SkinRole::HeadCaption:
      bold = true;
      colour = Rgb(0x13202e);
      break;
    case SkinRole::ScaleText: colour = Rgb(0x2b3a4a); break;
    case SkinRole::ScaleCaption:
      size = kScaleCaptionSize;
      colour = Rgb(kScaleCaption);
      break;
    case SkinRole::SectionTitle:
      bold = true;
      colour = Rgb(0x2e6aae);
      break;
    case SkinRole::FrameHeading:
      bold = true;
      label->setContentsMargins(3, 0, 3, 0);
      break;
    default: return;  // the desk's caption colour and face, inherited
  }
  if (size > 0 || bold) label->setFont(Face(label, size, bold));
  if (colour.isValid()) SetTextColour(label, QPalette::WindowText, colour);
}

void PolishButton(QAbstractButton* button) {
  const bool alert = IsAlert(button);
  int size = 0;
  if (Is(button, SkinRole::InputKey))
    size = 13;
  else if (qobject_cast<QPushButton*>(button) != nullptr && Is(button, SkinRole::NarrowKey))
    size = 11;
  if (!alert && size == 0) {
    // Back to the inherited face and colours once a caption stops needing attention.
    if (button->property("alert").isValid()) {
      button->setFont(QFont());
      button->setPalette(QPalette());
    }
    return;
  }
  const bool bold = alert && qobject_cast<QPushButton*>(button) != nullptr;
  button->setFont(Face(button, size, bold));
  const QPalette::ColorRole role = qobject_cast<QPushButton*>(button) != nullptr ? QPalette::ButtonText : QPalette::WindowText;
  SetTextColour(button, role, alert ? Rgb(kAlert) : Rgb(role == QPalette::ButtonText ? kFieldText : kText));
}

// ---- Sliders: an 8-pixel groove along the whole length, a 14 x 22 cap -----------------------

constexpr int kGroove = 8;
constexpr int kCapLength = 14;
constexpr int kCapWidth = 22;

QRect SliderGroove(const QStyleOptionSlider* o) {
  const QRect r = o->rect;
  if (o->orientation == Qt::Horizontal) return {r.x(), r.y() + (r.height() - kGroove) / 2, r.width(), kGroove};
  return {r.x() + (r.width() - kGroove) / 2, r.y(), kGroove, r.height()};
}

QRect SliderCap(const QStyleOptionSlider* o) {
  const QRect g = SliderGroove(o);
  const bool horizontal = o->orientation == Qt::Horizontal;
  const int span = (horizontal ? g.width() : g.height()) - kCapLength;
  const int at = QStyle::sliderPositionFromValue(o->minimum, o->maximum, o->sliderPosition, std::max(0, span), o->upsideDown);
  // The cap overhangs the groove on both sides as far as the slider is wide.
  const int width = std::min(kCapWidth, horizontal ? o->rect.height() : o->rect.width());
  const int overhang = (width - kGroove) / 2;
  if (horizontal) return {g.x() + at, g.y() - overhang, kCapLength, width};
  return {g.x() - overhang, g.y() + at, width, kCapLength};
}

// ---- Scroll bars: a 12-pixel trough, a rounded thumb, no arrows ------------------------------

constexpr int kScrollBarExtent = 12;
constexpr int kThumbMinimum = 20;

QRect ScrollThumb(const QStyleOptionSlider* o) {
  const QRect r = o->rect;
  const bool horizontal = o->orientation == Qt::Horizontal;
  const int length = horizontal ? r.width() : r.height();
  const qint64 range = qint64(o->maximum) - o->minimum;
  int thumb = length;
  if (range > 0) thumb = static_cast<int>(qint64(length) * o->pageStep / (range + o->pageStep));
  thumb = std::clamp(thumb, std::min(kThumbMinimum, length), length);
  const int at = QStyle::sliderPositionFromValue(o->minimum, o->maximum, o->sliderPosition, length - thumb, o->upsideDown);
  return horizontal ? QRect(r.x() + at, r.y(), thumb, r.height()) : QRect(r.x(), r.y() + at, r.width(), thumb);
}

// ---- Combo boxes: a white field with a 14-pixel drop-down key on the right -------------------

constexpr int kDropDown = 14;

}  // namespace

SkinStyle::SkinStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QPalette SkinStyle::Palette() {
  QPalette palette(Rgb(kDesk));
  const auto both = [&palette](QPalette::ColorRole role, const QColor& colour) {
    for (const auto group : {QPalette::Active, QPalette::Inactive}) palette.setColor(group, role, colour);
  };
  both(QPalette::Window, Rgb(kDesk));
  both(QPalette::WindowText, Rgb(kText));
  both(QPalette::Base, Qt::white);
  both(QPalette::AlternateBase, Rgb(0xf0f4f8));
  both(QPalette::Text, Rgb(kFieldText));
  both(QPalette::Button, Rgb(0xeef1f4));
  both(QPalette::ButtonText, Rgb(kFieldText));
  both(QPalette::Highlight, Rgb(kAccent));
  both(QPalette::HighlightedText, Qt::white);
  both(QPalette::ToolTipBase, Rgb(kPopup));
  both(QPalette::ToolTipText, Rgb(kText));
  both(QPalette::PlaceholderText, Rgb(kDisabledText));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, Rgb(kDisabledText));
  return palette;
}

QPalette SkinStyle::standardPalette() const { return Palette(); }

// The chevron of the menu bar's and tool bars' extension key, drawn when it is shown. The style
// underneath reads a picture file for it, and the first picture read loads every image reader
// the system has: milliseconds and megabytes at start-up for a key the fixed-width menu bar
// never shows.
QIcon SkinStyle::standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const {
  if (icon != SP_ToolBarHorizontalExtensionButton && icon != SP_ToolBarVerticalExtensionButton) {
    return QProxyStyle::standardIcon(icon, option, widget);
  }
  const bool vertical = icon == SP_ToolBarVerticalExtensionButton;
  return PaintedIcon([vertical](QPainter& p, const QRectF& rect, QIcon::Mode mode, QIcon::State) {
    p.setPen(QPen(Rgb(mode == QIcon::Disabled ? kDisabledText : kArrow), 1.5));
    const QRectF r = rect.adjusted(rect.width() * 0.25, rect.height() * 0.3, -rect.width() * 0.25, -rect.height() * 0.3);
    for (const qreal at : {0.0, 0.5}) {  // two heads, pointing where the hidden items are
      QPolygonF head;
      if (vertical) {
        const qreal y = r.top() + at * r.height();
        head << QPointF(r.left(), y) << QPointF(r.center().x(), y + r.height() / 2) << QPointF(r.right(), y);
      } else {
        const qreal x = r.left() + at * r.width();
        head << QPointF(x, r.top()) << QPointF(x + r.width() / 2, r.center().y()) << QPointF(x, r.bottom());
      }
      p.drawPolyline(head);
    }
  });
}

void SkinStyle::polish(QWidget* widget) {
  QProxyStyle::polish(widget);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    PolishLabel(label);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    if (qobject_cast<QToolButton*>(button) == nullptr) PolishButton(button);
    button->setAttribute(Qt::WA_Hover, true);
  } else if (qobject_cast<QComboBox*>(widget) != nullptr) {
    widget->setFont(Face(widget, 11, false));
    widget->setAttribute(Qt::WA_Hover, true);
  } else if (qobject_cast<QSlider*>(widget) != nullptr || qobject_cast<QTabBar*>(widget) != nullptr) {
    widget->setAttribute(Qt::WA_Hover, true);
  } else if (qobject_cast<QMenuBar*>(widget) != nullptr) {
    widget->setAttribute(Qt::WA_Hover, true);
  } else if (qobject_cast<QMenu*>(widget) != nullptr) {
    SetTextColour(widget, QPalette::Window, Rgb(kPopup));
  } else if (Is(widget, SkinRole::ScaleCaption)) {  // captions painted together, as their labels would be
    widget->setFont(Face(widget, kScaleCaptionSize, false));
    SetTextColour(widget, QPalette::WindowText, Rgb(kScaleCaption));
  }
}

int SkinStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
  switch (metric) {
    case PM_SliderLength: return kCapLength;
    case PM_SliderThickness:
    case PM_SliderControlThickness: return kCapWidth;
    case PM_IndicatorWidth:
    case PM_IndicatorHeight:
    case PM_ExclusiveIndicatorWidth:
    case PM_ExclusiveIndicatorHeight: return IndicatorSize(widget, QProxyStyle::pixelMetric(metric, option, widget));
    case PM_CheckBoxLabelSpacing:
    case PM_RadioButtonLabelSpacing: return 5;
    case PM_TabBarTabShiftHorizontal:
    case PM_TabBarTabShiftVertical:
    case PM_TabBarTabOverlap:
    case PM_TabBarBaseOverlap: return 0;
    case PM_MenuBarItemSpacing:
    case PM_MenuBarHMargin:
    case PM_MenuBarVMargin:
    case PM_MenuBarPanelWidth: return 0;
    case PM_ScrollBarExtent: return kScrollBarExtent;
    case PM_ScrollBarSliderMin: return kThumbMinimum;
    default: return QProxyStyle::pixelMetric(metric, option, widget);
  }
}

int SkinStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                         QStyleHintReturn* returnData) const {
  if (hint == SH_Table_GridLineColor)
    return static_cast<int>((Is(widget, SkinRole::UnitGrid) ? Rgb(0xa9b2bc) : Rgb(0xc9d0d8)).rgba());
  return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QSize SkinStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                  const QWidget* widget) const {
  switch (type) {
    case CT_TabBarTab: {
      QSize s = QProxyStyle::sizeFromContents(type, option, size, widget);
      s.setHeight(std::max(17, option->fontMetrics.height()) + 15);
      return s;
    }
    case CT_PushButton: return {size.width() + 14, size.height() + 6};  // a 1-pixel border, 2 x 6 padding
    case CT_MenuItem:
      if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
          item != nullptr && item->menuItemType == QStyleOptionMenuItem::Separator)
        return {size.width(), 9};  // a line with 4 pixels above and below
      return QProxyStyle::sizeFromContents(type, option, size, widget);
    case CT_MenuBarItem: return {size.width() + 12, std::max(size.height(), option->fontMetrics.height()) + 2};
    default: return QProxyStyle::sizeFromContents(type, option, size, widget);
  }
}

QRect SkinStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                                const QWidget* widget) const {
  if (control == CC_Slider) {
    if (const auto* o = qstyleoption_cast<const QStyleOptionSlider*>(option)) {
      if (sub == SC_SliderGroove) return SliderGroove(o);
      if (sub == SC_SliderHandle) return SliderCap(o);
    }
  }
  if (control == CC_ScrollBar) {
    if (const auto* o = qstyleoption_cast<const QStyleOptionSlider*>(option)) {
      const QRect r = o->rect;
      const QRect thumb = ScrollThumb(o);
      const bool horizontal = o->orientation == Qt::Horizontal;
      switch (sub) {
        case SC_ScrollBarGroove: return r;
        case SC_ScrollBarSlider: return thumb;
        case SC_ScrollBarSubPage:
          return horizontal ? QRect(r.left(), r.top(), thumb.left() - r.left(), r.height())
                            : QRect(r.left(), r.top(), r.width(), thumb.top() - r.top());
        case SC_ScrollBarAddPage:
          return horizontal ? QRect(thumb.right() + 1, r.top(), r.right() - thumb.right(), r.height())
                            : QRect(r.left(), thumb.bottom() + 1, r.width(), r.bottom() - thumb.bottom());
        case SC_ScrollBarAddLine:
        case SC_ScrollBarSubLine:
        case SC_ScrollBarFirst:
        case SC_ScrollBarLast: return {};
        default: break;
      }
    }
  }
  if (control == CC_ComboBox) {
    const QRect r = option->rect;
    if (sub == SC_ComboBoxArrow) return {r.right() - kDropDown, r.top() + 1, kDropDown, r.height() - 2};
    if (sub == SC_ComboBoxEditField) return r.adjusted(4, 1, -kDropDown - 2, -1);
    if (sub == SC_ComboBoxFrame) return r;
  }
  if (control == CC_GroupBox) {
    if (const auto* o = qstyleoption_cast<const QStyleOptionGroupBox*>(option)) {
      const QRect r = o->rect;
      const int titleHeight = o->fontMetrics.height();
      const int frameTop = std::max(8, titleHeight / 2);
      switch (sub) {
        case SC_GroupBoxFrame: return r.adjusted(0, frameTop, 0, 0);
        case SC_GroupBoxContents:
          return r.adjusted(1, o->text.isEmpty() ? frameTop + 5 : std::max(frameTop + 5, titleHeight), -1, -1);
        case SC_GroupBoxLabel: {
          const int width = o->fontMetrics.horizontalAdvance(o->text) + 6;
          return {r.left() + 8, r.top() + frameTop - titleHeight / 2, width, titleHeight};
        }
        case SC_GroupBoxCheckBox: return {};
        default: break;
      }
    }
  }
  return QProxyStyle::subControlRect(control, option, sub, widget);
}

// The frames and framed captions that have a role; false for every other frame.
bool SkinStyle::DrawFrame(const QStyleOption* option, QPainter* p, const QWidget* widget) const {
  if (widget == nullptr) return false;
  const QRect r = option->rect;
  if (qobject_cast<const QLabel*>(widget) != nullptr) {
    if (Is(widget, SkinRole::LcdText) || Is(widget, SkinRole::PageLcdText)) {
      Box(p, r, Rgb(0x121920), Rgb(0x4a5561), 3);
      return true;
    }
    if (qobject_cast<const QStatusBar*>(widget->parentWidget()) != nullptr) {
      VerticalLine(p, r.right(), r.top(), r.bottom(), Rgb(0x46525f));
      return true;
    }
    if (Is(widget, SkinRole::FrameHeading)) {
      p->fillRect(r, Rgb(kDesk));
      return true;
    }
    return false;
  }
  const SkinRole role = SkinRoleOf(widget);
  if (role == SkinRole::HeaderBand) {
    p->fillRect(r, Down(r, {{0, Rgb(0x2c3743)}, {1, Rgb(0x1a2129)}}));
    HorizontalLine(p, r.left(), r.right(), r.bottom(), Rgb(0x0e1318));
    return true;
  }
  if (role == SkinRole::ChannelPage) {
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    const QRectF f = QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal k = 4;
    path.moveTo(f.topLeft());
    path.lineTo(f.topRight());
    path.lineTo(f.right(), f.bottom() - k);
    path.quadTo(f.bottomRight(), QPointF(f.right() - k, f.bottom()));
    path.lineTo(f.left() + k, f.bottom());
    path.quadTo(f.bottomLeft(), QPointF(f.left(), f.bottom() - k));
    path.closeSubpath();
    p->setPen(Rgb(kFrameBorder));
    p->setBrush(Rgb(kPageBackground));
    p->drawPath(path);
    p->restore();
    return true;
  }
  if (role == SkinRole::SubSection) {
    Box(p, r, Rgb(0xeef1f4), Rgb(0xb5bec8), 4);
    return true;
  }
  if (role == SkinRole::OutlineFrame) {
    Box(p, r, Qt::NoBrush, Rgb(kControlBorder), 4);
    return true;
  }
  if (role == SkinRole::InputBox) {
    Box(p, r, QColor(255, 255, 255, 60), Rgb(0x6f8fae), 4);
    return true;
  }
  return false;
}

bool SkinStyle::DrawIndicator(PrimitiveElement element, const QStyleOption* option, QPainter* p,
                              const QWidget* widget) const {
  const Lamps lamps = LampsOf(widget);
  if (lamps == Lamps::Plain) return false;
  const bool radio = element == PE_IndicatorRadioButton;
  const bool on = (option->state & State_On) != 0;
  const bool hover = (option->state & State_MouseOver) != 0 && (option->state & State_Enabled) != 0;
  const int size = IndicatorSize(widget, 13);
  QRect r(0, 0, size, size);
  r.moveCenter(option->rect.center());
  QColor border = lamps == Lamps::ChannelPage ? Rgb(0x5a6673) : Rgb(0x4a5561);
  if (hover && lamps != Lamps::ChannelPage) border = Rgb(kAccent);
  const qreal radius = radio ? size / 2.0 : 2.0;
  QBrush fill(Qt::white);
  const QRectF inside = QRectF(r).adjusted(1, 1, -1, -1);
  if (on) {
    switch (lamps) {
      case Lamps::OutputDrawer:
        fill = radio ? Lamp(inside, 0.5, {{0, Rgb(0x2c3743)}, {0.45, Rgb(0x2c3743)}, {0.55, Qt::white}, {1, Qt::white}})
                     : Lamp(inside, 0.5, {{0, Rgb(0xff4a4a)}, {0.6, Rgb(kAlert)}, {0.7, Qt::white}, {1, Qt::white}});
        break;
      case Lamps::InputDrawer:
        fill = Lamp(inside, 0.6, {{0, Rgb(0x6fb0f0)}, {0.55, Rgb(0x2e6aae)}, {1, Rgb(0x1d4f8a)}});
        border = Rgb(0x1a2129);
        break;
      case Lamps::ChannelPage:
        fill = Lamp(inside, 0.5, {{0, Rgb(kAccent)}, {0.6, Rgb(kAccent)}, {0.75, Qt::white}, {1, Qt::white}});
        break;
      case Lamps::Plain: break;
    }
  }
  Box(p, r, fill, border, radius);
  return true;
}

void SkinStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* p,
                              const QWidget* widget) const {
  const QRect r = option->rect;
  const bool enabled = (option->state & State_Enabled) != 0;
  const bool hover = enabled && (option->state & State_MouseOver) != 0;
  switch (element) {
    case PE_Widget:
      if (Is(widget, SkinRole::ClientArea)) {
        p->fillRect(r, Down(r, {{0, Rgb(0xe4e8ed)}, {1, Rgb(0xd2d8df)}}));
        return;
      }
      if (Is(widget, SkinRole::DrawerTitle)) {
        p->fillRect(r, Down(r, {{0, QColor(255, 255, 255, 110)}, {1, QColor(0, 0, 0, 28)}}));
        HorizontalLine(p, r.left(), r.right(), r.bottom(), QColor(0, 0, 0, 70));
        return;
      }
      if (Is(widget, SkinRole::PanelBackground)) {
        p->fillRect(r, Rgb(kPageBackground));
        return;
      }
      break;
    case PE_PanelButtonCommand: {
      const bool input = Is(widget, SkinRole::InputKey);
      const bool alert = IsAlert(widget);
      const bool sunken = (option->state & State_Sunken) != 0 ||
                          ((option->state & State_On) != 0 && !Is(widget, SkinRole::OutputKey));
      if (input && alert) {
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        p->setPen(QPen(Rgb(kAlert), 2));
        p->setBrush(Down(r, {{0, Qt::white}, {1, Rgb(0xf6e3e3)}}));
        p->drawRoundedRect(QRectF(r).adjusted(1, 1, -1, -1), 4, 4);
        p->restore();
        return;
      }
      if (input) {
        Box(p, r, Down(r, {{0, Rgb(0xfbfcfd)}, {0.5, Rgb(0xeef1f4)}, {1, Rgb(0xd5dce4)}}), Rgb(0x7a8696), 4);
        return;
      }
      QBrush fill = Down(r, {{0, Rgb(0xfdfdfe)}, {1, Rgb(0xdfe5eb)}});
      if (sunken)
        fill = Down(r, {{0, Rgb(0xcfd7df)}, {1, Rgb(0xe6ebf0)}});
      else if (hover)
        fill = Down(r, {{0, Qt::white}, {1, Rgb(0xe8eef4)}});
      const QColor border = !enabled ? Rgb(0xb5bec8) : hover ? Rgb(kAccent) : Rgb(kControlBorder);
      Box(p, r, fill, border, 3);
      return;
    }
    case PE_FrameFocusRect:
      if (qobject_cast<const QPushButton*>(widget) != nullptr) return;  // the bevel shows no focus ring
      break;
    case PE_PanelButtonTool: {
      const bool on = (option->state & State_On) != 0;
      if (on)
        Box(p, r, QColor(255, 255, 255, 140), Rgb(0x5a6673), 3);
      else if (hover)
        Box(p, r, QColor(255, 255, 255, 90), Rgb(kAccent), 3);
      return;
    }
    case PE_PanelLineEdit: {
      const auto* edit = qobject_cast<const QLineEdit*>(widget);
      if (widget != nullptr && qobject_cast<const QAbstractItemView*>(widget->parentWidget()) != nullptr) break;
      const bool readOnly = edit != nullptr && edit->isReadOnly();
      const bool focus = (option->state & State_HasFocus) != 0;
      Box(p, r, readOnly ? Rgb(0xeef1f4) : QColor(Qt::white), focus ? Rgb(kAccent) : Rgb(kControlBorder), 2);
      return;
    }
    case PE_FrameLineEdit: return;  // drawn with the panel
    case PE_IndicatorCheckBox:
    case PE_IndicatorRadioButton:
      if (DrawIndicator(element, option, p, widget)) return;
      break;
    case PE_PanelStatusBar:
      p->fillRect(r, Down(r, {{0, Rgb(0x2c3743)}, {1, Rgb(0x222a33)}}));
      HorizontalLine(p, r.left(), r.right(), r.top(), Rgb(0x0e1318));
      return;
    case PE_FrameStatusBarItem: return;
    case PE_PanelMenu:
    case PE_FrameMenu:
      if (qobject_cast<const QMenu*>(widget) != nullptr) {
        Box(p, r, element == PE_PanelMenu ? QBrush(Rgb(kPopup)) : QBrush(Qt::NoBrush), Rgb(kFrameBorder), 0);
        return;
      }
      break;
    case PE_PanelTipLabel:
      Box(p, r, Rgb(kPopup), Rgb(kControlBorder), 0);
      return;
    default: break;
  }
  QProxyStyle::drawPrimitive(element, option, p, widget);
}

void SkinStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* p,
                            const QWidget* widget) const {
  const QRect r = option->rect;
  switch (element) {
    case CE_ShapedFrame:
      if (DrawFrame(option, p, widget)) return;
      break;
    case CE_TabBarTabShape: {
      const bool selected = (option->state & State_Selected) != 0;
      const bool hover = (option->state & State_MouseOver) != 0;
      const QRectF f = QRectF(r.adjusted(0, 0, -1, 0)).adjusted(0.5, 0.5, -0.5, 0);
      const qreal k = 4;
      QPainterPath path;
      path.moveTo(f.bottomLeft());
      path.lineTo(f.left(), f.top() + k);
      path.quadTo(f.topLeft(), QPointF(f.left() + k, f.top()));
      path.lineTo(f.right() - k, f.top());
      path.quadTo(f.topRight(), QPointF(f.right(), f.top() + k));
      path.lineTo(f.bottomRight());
      p->save();
      p->setRenderHint(QPainter::Antialiasing);
      QBrush fill = Down(f, {{0, Rgb(0xcdd4dc)}, {1, Rgb(0xb8c2cc)}});
      if (selected)
        fill = Rgb(kPageBackground);
      else if (hover)
        fill = Down(f, {{0, Rgb(0xdde3e9)}, {1, Rgb(0xc9d1da)}});
      p->setPen(Qt::NoPen);
      p->setBrush(fill);
      p->drawPath(path);
      if (selected) {  // a blue band along the top of the chosen tab
        p->setClipPath(path);
        p->fillRect(QRectF(f.left(), f.top() - 0.5, f.width(), 3.5), Rgb(kAccent));
        p->setClipping(false);
      }
      p->setPen(Rgb(kFrameBorder));
      p->setBrush(Qt::NoBrush);
      p->drawPath(path);
      p->restore();
      return;
    }
    case CE_TabBarTabLabel:
      if ((option->state & State_Selected) != 0) {
        p->save();
        QFont font = p->font();
        font.setBold(true);
        p->setFont(font);
        QProxyStyle::drawControl(element, option, p, widget);
        p->restore();
        return;
      }
      break;
    case CE_HeaderLabel:
      if (Is(widget, SkinRole::UnitGridHeader)) {
        if (const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option)) {
          QStyleOptionHeader white = *header;
          white.palette.setColor(QPalette::ButtonText, Qt::white);
          white.rect = r.adjusted(2, 0, -2, 0);
          QProxyStyle::drawControl(element, &white, p, widget);
          return;
        }
      }
      break;
    case CE_MenuItem:
      // A separator is a thin line, whatever text its action carries.
      if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
          item != nullptr && item->menuItemType == QStyleOptionMenuItem::Separator) {
        HorizontalLine(p, r.left() + 8, r.right() - 8, r.center().y(), Rgb(0xc9d0d8));
        return;
      }
      break;
    case CE_MenuBarEmptyArea: {
      const int height = widget != nullptr ? widget->height() : r.height();
      p->fillRect(r, Gradient(QPointF(0, 0), QPointF(0, height), {{0, Rgb(0x3a4653)}, {1, Rgb(0x2c3743)}}));
      HorizontalLine(p, r.left(), r.right(), height - 1, Rgb(0x1a2129));
      return;
    }
    case CE_MenuBarItem: {
      const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
      if (item == nullptr) break;
      const int height = widget != nullptr ? widget->height() : r.height();
      p->fillRect(r, Gradient(QPointF(0, 0), QPointF(0, height), {{0, Rgb(0x3a4653)}, {1, Rgb(0x2c3743)}}));
      const bool enabled = (option->state & State_Enabled) != 0;
      const bool lit = enabled && (option->state & State_Selected) != 0;
      if (lit) p->fillRect(r, Rgb(kAccent));
      HorizontalLine(p, r.left(), r.right(), height - 1, Rgb(0x1a2129));
      p->save();
      p->setPen(!enabled ? Rgb(0x7d8996) : lit ? QColor(Qt::white) : Rgb(0xe9eef3));
      int flags = Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextDontClip | Qt::TextSingleLine;
      if (styleHint(SH_UnderlineShortcut, option, widget, nullptr) == 0) flags |= Qt::TextHideMnemonic;
      p->drawText(r, flags, item->text);
      p->restore();
      return;
    }
    case CE_HeaderSection:
      if (Is(widget, SkinRole::UnitGridHeader)) {  // the device list: blue, grey lines
        p->fillRect(r, QColor(57, 115, 196));
        Box(p, r, Qt::NoBrush, QColor(160, 160, 160), 0);
        return;
      }
      if (widget != nullptr) {
        p->fillRect(r, Down(r, {{0, Rgb(0xeef1f4)}, {1, Rgb(0xd3dae2)}}));
        VerticalLine(p, r.right(), r.top(), r.bottom(), Rgb(0xaab4bf));
        HorizontalLine(p, r.left(), r.right(), r.bottom(), Rgb(0xaab4bf));
        return;
      }
      break;
    default: break;
  }
  QProxyStyle::drawControl(element, option, p, widget);
}

void SkinStyle::DrawSlider(const QStyleOptionComplex* option, QPainter* p, const QWidget* widget) const {
  const auto* o = qstyleoption_cast<const QStyleOptionSlider*>(option);
  if (o == nullptr) return QProxyStyle::drawComplexControl(CC_Slider, option, p, widget);
  const bool horizontal = o->orientation == Qt::Horizontal;
  const QRect groove = SliderGroove(o);
  const QRect cap = SliderCap(o);
  const QColor dark = Rgb(0x1a2129);
  if ((o->subControls & SC_SliderGroove) != 0) {
    Box(p, groove, Rgb(0x2b333c), dark, 3);
    // The travelled part is lit: left of the cap on a horizontal fader, below it on a vertical one.
    if (horizontal) {
      const QRect lit(groove.left(), groove.top(), cap.center().x() - groove.left(), groove.height());
      if (lit.width() > 0) Box(p, lit, Across(lit, {{0, Rgb(0x2e6aae)}, {1, Rgb(0x4f95e0)}}), dark, 3);
    } else {
      const QRect lit(groove.left(), cap.center().y(), groove.width(), groove.bottom() - cap.center().y() + 1);
      if (lit.height() > 0) Box(p, lit, Down(lit, {{0, Rgb(0x4f95e0)}, {1, Rgb(0x2e6aae)}}), dark, 3);
    }
  }
  if ((o->subControls & SC_SliderHandle) != 0) {
    const Stops metal = {{0, Rgb(0xf4f6f8)}, {0.45, Rgb(0xc4ccd5)}, {0.5, Rgb(0x39424c)}, {0.55, Rgb(0xc4ccd5)}, {1, Rgb(0xeef1f4)}};
    const bool hover = (o->state & State_MouseOver) != 0 && (o->activeSubControls & SC_SliderHandle) != 0;
    Box(p, cap, horizontal ? Across(cap, metal) : Down(cap, metal), hover ? Rgb(kAccent) : Rgb(0x4a5561), 2);
  }
}

void SkinStyle::DrawComboBox(const QStyleOptionComplex* option, QPainter* p, const QWidget* widget) const {
  const QRect r = option->rect;
  const bool enabled = (option->state & State_Enabled) != 0;
  const bool lit = enabled && (option->state & (State_MouseOver | State_HasFocus)) != 0;
  Box(p, r, Qt::white, lit ? Rgb(kAccent) : Rgb(kControlBorder), 2);
  const QRect key = subControlRect(CC_ComboBox, option, SC_ComboBoxArrow, widget);
  p->fillRect(key, Down(key, {{0, Rgb(0xfbfcfd)}, {1, Rgb(0xdfe5eb)}}));
  VerticalLine(p, key.left(), key.top(), key.bottom(), Rgb(0xb5bec8));
  // A 9 x 5 triangle, drawn as a path so that it is sharp at any scale.
  QRect box(0, 0, 9, 5);
  box.moveCenter(key.center());
  const QRectF at(box);
  QPainterPath arrow(at.topLeft());
  arrow.lineTo(at.topRight());
  arrow.lineTo(at.center().x(), at.bottom());
  arrow.closeSubpath();
  p->save();
  p->setRenderHint(QPainter::Antialiasing, true);
  p->fillPath(arrow, Rgb(kArrow));
  p->restore();
}

void SkinStyle::DrawGroupBox(const QStyleOptionComplex* option, QPainter* p, const QWidget* widget) const {
  const auto* o = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
  if (o == nullptr) return QProxyStyle::drawComplexControl(CC_GroupBox, option, p, widget);
  const QRect frame = subControlRect(CC_GroupBox, option, SC_GroupBoxFrame, widget);
  const QRect title = subControlRect(CC_GroupBox, option, SC_GroupBoxLabel, widget);
  p->save();
  if (!o->text.isEmpty()) {  // the frame line stops at the title
    p->setClipRegion(QRegion(o->rect).subtracted(QRegion(title)));
  }
  Box(p, frame, Qt::NoBrush, Rgb(kControlBorder), 4);
  p->restore();
  if (!o->text.isEmpty()) {
    p->save();
    p->setPen(o->palette.color(QPalette::WindowText));
    p->drawText(title, Qt::AlignCenter | Qt::TextShowMnemonic, o->text);
    p->restore();
  }
}

void SkinStyle::DrawScrollBar(const QStyleOptionComplex* option, QPainter* p, const QWidget* widget) const {
  const auto* o = qstyleoption_cast<const QStyleOptionSlider*>(option);
  if (o == nullptr) return QProxyStyle::drawComplexControl(CC_ScrollBar, option, p, widget);
  p->fillRect(o->rect, Rgb(0xe4e8ed));
  if (o->maximum > o->minimum) Box(p, QRectF(ScrollThumb(o)).adjusted(2, 2, -2, -2), Rgb(0xaab4bf), QColor(), 4);
}

void SkinStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* p,
                                   const QWidget* widget) const {
  switch (control) {
    case CC_Slider: return DrawSlider(option, p, widget);
    case CC_ComboBox: return DrawComboBox(option, p, widget);
    case CC_GroupBox: return DrawGroupBox(option, p, widget);
    case CC_ScrollBar: return DrawScrollBar(option, p, widget);
    default: return QProxyStyle::drawComplexControl(control, option, p, widget);
  }
}

}  // namespace mzr
