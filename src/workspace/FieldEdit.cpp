#include "workspace/FieldEdit.h"

#include <QHash>

#include "model/EditableFields.h"

namespace mzr {
namespace {

const QHash<QString, FieldElement>& ElementsByName() {
  static const QHash<QString, FieldElement> byName = [] {
    QHash<QString, FieldElement> map;
    for (const auto& e : AllElements()) map.insert(QString::fromStdString(e.Name()), e);
    return map;
  }();
  return byName;
}

std::optional<TextField> TextFieldOf(const FieldElement& e) {
  for (int i = 0; i <= static_cast<int>(TextField::makerTag); ++i) {
    const auto field = static_cast<TextField>(i);
    if (SlotOf(field).address == e.address) return field;
  }
  return std::nullopt;
}

void StoreNumber(ParameterImage& image, const FieldElement& e, int v) {
  if (e.size == 2) {
    image.SetU16(e.address, static_cast<std::uint16_t>(v));
  } else {
    image.SetU8(e.address, static_cast<std::uint8_t>(v));  // int8 as two's complement
  }
}

}  // namespace

std::variant<std::vector<FieldElement>, QString> ElementsNamed(const QString& name) {
  const auto& byName = ElementsByName();
  if (const auto found = byName.constFind(name); found != byName.constEnd()) return std::vector{found.value()};
  std::vector<FieldElement> elements;
  for (const auto& e : AllElements()) {
    const QString full = QString::fromStdString(e.Name());
    if (full.startsWith(name + QLatin1Char('[')) || full.startsWith(name + QLatin1Char('.'))) elements.push_back(e);
  }
  if (elements.empty()) return QStringLiteral("unknown field '%1' (show --json lists the names)").arg(name);
  return elements;
}

std::variant<FieldEdit, QString> ParseAssignment(const QString& assignment) {
  const qsizetype eq = assignment.indexOf(QLatin1Char('='));
  if (eq <= 0) return QStringLiteral("'%1' is not FIELD=VALUE").arg(assignment);
  const QString name = assignment.left(eq);
  const QString value = assignment.mid(eq + 1);
  const auto& byName = ElementsByName();
  const auto found = byName.constFind(name);
  if (found == byName.constEnd()) {
    if (std::holds_alternative<std::vector<FieldElement>>(ElementsNamed(name))) {
      return QStringLiteral("'%1' names more than one value; give one, as in %2")
          .arg(name, QString::fromStdString(std::get<std::vector<FieldElement>>(ElementsNamed(name)).front().Name()));
    }
    return QStringLiteral("unknown field '%1' (show --json lists the names)").arg(name);
  }
  const FieldElement& e = found.value();
  const EditableField* rule = EditableFieldOf(e);
  if (!rule) return QStringLiteral("%1 is not changed by any editor of the program; set leaves it alone").arg(name);
  if (!rule->Reaches(e.row, e.index)) {
    return QStringLiteral("%1 is an entry no editor of the program changes; set leaves it alone").arg(name);
  }

  FieldEdit edit;
  edit.element = e;
  edit.edited = rule->edited;
  edit.editIndex = EditIndexOf(e);

  if (e.kind == FieldKind::text) {
    // The slot must hold the whole text: a cut or unencodable text is refused, not stored.
    const auto textField = TextFieldOf(e);
    ParameterImage probe;
    if (!textField || probe.SetText(*textField, value.toStdString()) != TextStoreResult::Stored) {
      return QStringLiteral("%1: '%2' does not fit the %3-byte slot (or holds a character GBK cannot store)")
          .arg(name, value)
          .arg(e.size);
    }
    edit.text = value.toStdString();
    return edit;
  }

  // The model's rule reads a display text first (the bit masks show binary digits that also
  // read as decimal), then a number.
  if (const auto v = ParseStoredValue(*rule, e, value.toStdString())) {
    edit.number = *v;
    return edit;
  }
  return QStringLiteral("%1: '%2' is outside the field's range %3")
      .arg(name, value, QString::fromStdString(RangeText(*rule, e)));
}

bool ApplyEdit(ParameterImage& image, const FieldEdit& edit) {
  if (edit.element.kind == FieldKind::text) {
    const auto textField = TextFieldOf(edit.element);
    return textField && image.SetText(*textField, edit.text) == TextStoreResult::Stored;
  }
  StoreNumber(image, edit.element, edit.number);
  return true;
}

}  // namespace mzr
