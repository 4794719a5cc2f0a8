#pragma once
// Edits of single fields by the field table's names: which named values an editor of the
// program changes, the range each may take, and the parsing of "FIELD=VALUE"
// with a value given as the stored number or as the text the program shows ("-3.0dB",
// "40Hz", "24dB/OCT"). Everything here is checked before a file is touched or a frame sent.

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "model/FieldTable.h"
#include "model/ParameterImage.h"
#include "model/WriteSpan.h"

namespace mzr {

// One accepted assignment.
struct FieldEdit {
  FieldElement element;
  std::optional<EditedField> edited;  // nothing: changed in files only (the profile texts)
  int editIndex = 0;                  // the index WriteSpanFor takes
  int number = 0;                     // numeric fields
  std::string text;                   // text fields, UTF-8
};

// The elements a get names: one element by its full name ("outputLevel[2]",
// "subPeq[1].qIndex"), or every element of a field, row or record ("outputLevel",
// "geqGain[0]", "toneControl[3]"). A refusal gives its message.
std::variant<std::vector<FieldElement>, QString> ElementsNamed(const QString& name);

// "FIELD=VALUE" as an edit, or the reason it is refused: an unknown field, one no editor
// of the program writes (the MAC address, the token, outputs 6 and 7 ...), or a value
// outside the field's range.
std::variant<FieldEdit, QString> ParseAssignment(const QString& assignment);

// Stores the edit into image through the image's setters. Gives false only for a text that
// no longer fits (ParseAssignment has checked it against the same slot).
bool ApplyEdit(ParameterImage& image, const FieldEdit& edit);

}  // namespace mzr
