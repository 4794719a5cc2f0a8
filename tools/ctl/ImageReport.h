#pragma once
// The texts of show and diff: every named field of an image with its stored value and the
// text the program shows for it, as lines or as JSON, and the differences between two
// images field by field plus the carried bytes no field names.

#include <QJsonObject>
#include <QStringList>

#include "model/ParameterImage.h"

namespace mzr::ctl {

// One line per value: name, stored value, display text, in address order.
QStringList ShowLines(const ParameterImage& image);

// An object keyed by field name: numbers for numeric values, strings for addresses and texts
// (decoded from GBK), arrays for tables (geqGain: 7 rows of 27), objects for records.
QJsonObject ShowJson(const ParameterImage& image);

// One line per value that differs, "name: textA -> textB" (with the stored values, or the raw
// bytes, when the display texts alone do not tell them apart), then one line per carried byte
// that differs. Empty when the 852 bytes are equal. The lines of DiffImages (src/model).
QStringList DiffLines(const ParameterImage& a, const ParameterImage& b);

}  // namespace mzr::ctl
