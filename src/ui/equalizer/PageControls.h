#pragma once
// Small builders shared by the equalizer page's panels: track bars with their range and
// start position, read-only value texts, captions, and the pick of a text in the current
// language for accessible names (the caption table holds only what the window shows).

#include <QString>
#include <Qt>
#include <string>
#include <string_view>

class QLabel;
class QSlider;
class QWidget;

namespace mzr {

struct AppState;

// A track bar named `name`. Vertical bars have position 0 at the top, as every stored value
// on the page is a constant minus the position; the keys and the wheel move the handle the
// way the arrow points.
QSlider* MakeTrackBar(QWidget* parent, const char* name, Qt::Orientation orientation, int minimum, int maximum,
                      int start);

// A read-only value text in the skin's value style.
QLabel* MakeValueText(QWidget* parent, const char* name, const QString& text);

// A plain caption or scale label.
QLabel* MakeCaption(QWidget* parent, const QString& text, Qt::Alignment alignment, const char* name = nullptr);

inline QString ToText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline QString ToText(const std::string& text) { return QString::fromStdString(text); }

}  // namespace mzr
