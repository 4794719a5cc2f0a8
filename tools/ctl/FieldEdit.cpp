#include "FieldEdit.h"

#include <QHash>
#include <QRegularExpression>

#include <array>

namespace mzr::ctl {
namespace {

// One value an editor of the program changes. Ranges are the field's own; the rows and
// entries are those an editor reaches (outputs 6 and 7, geqGain rows 5 and 6 and the unused
// preset and fader entries are carried, never edited).
struct EditRule {
  std::string_view field;
  std::string_view member;  // record member, or empty
  int rows;                 // rows an editor reaches (geqGain)
  int entries;              // elements an editor reaches
  int low;
  int high;
  std::optional<EditedField> edited;  // nothing: the image only (profile texts)
  bool singleBit = false;             // 0 or exactly one bit
};

using E = EditedField;

// The one place that says which editor sends which field.
const std::array kRules{
    EditRule{"presetLevel", "", 1, 5, 0, 100, E::presetLevel},
    EditRule{"presetEnableMask", "", 1, 1, 0, 31, E::presetEnableMask},
    EditRule{"micRouteFlags", "", 1, 1, 0, 7, E::micRouteFlags},
    EditRule{"subLpfFreq", "", 1, 1, 0, 10, E::subLpf},
    EditRule{"subLpfSlope", "", 1, 1, 0, 4, E::subLpf},
    EditRule{"outputLevel", "", 1, 6, 0, 60, E::outputLevel},
    EditRule{"outputDelay", "", 1, 6, 0, 200, E::outputDelay},
    EditRule{"polarityMask", "", 1, 1, 0, 255, E::polarityMask},
    EditRule{"muteMask", "", 1, 1, 0, 255, E::muteMask},
    EditRule{"subPeq", "freq", 1, 2, 20, 120, E::subPeqFreqGain},
    EditRule{"subPeq", "gain", 1, 2, -120, 30, E::subPeqFreqGain},
    EditRule{"subPeq", "qIndex", 1, 2, 0, 38, E::subPeqQ},
    EditRule{"toneControl", "bassGain", 1, 5, -60, 60, E::toneBass},
    EditRule{"toneControl", "bassFreq", 1, 5, 0, 10, E::toneBass},
    EditRule{"toneControl", "trebleGain", 1, 5, -60, 60, E::toneTreble},
    EditRule{"toneControl", "trebleFreq", 1, 5, 0, 9, E::toneTreble},
    EditRule{"geqGain", "", 5, kGeqBands, -60, 60, E::geqGain},
    EditRule{"monitorLevel", "", 1, 6, 0, 70, E::monitorLevel},
    EditRule{"serialNumber", "", 1, 1, 0, 0, E::serialNumber},
    EditRule{"inputSource", "", 1, 1, 0, kInputs - 1, E::inputSource},
    EditRule{"faderLevel", "", 1, 5, 0, 100, E::faderLevel},
    EditRule{"testSignalMask", "", 1, 1, 0, 128, E::testSignal, true},
    EditRule{"testSignalType", "", 1, 1, 0, 5, E::testSignal},
    EditRule{"fadeTime", "", 1, 1, 0, 9, E::fadeTime},
    EditRule{"powerOnSource", "", 1, 1, 0, 5, E::powerOnSource},
    EditRule{"masterFlags", "", 1, 1, 0, 3, E::masterFlags},
    EditRule{"prologicMask", "", 1, 1, 0, 15, E::prologicMask},
    EditRule{"digitalPlayer1", "", 1, 1, 0, 0, std::nullopt},
    EditRule{"digitalPlayer2", "", 1, 1, 0, 0, std::nullopt},
    EditRule{"projectName", "", 1, 1, 0, 0, std::nullopt},
    EditRule{"theaterName", "", 1, 1, 0, 0, std::nullopt},
    EditRule{"screenNumber", "", 1, 1, 0, 0, std::nullopt},
    EditRule{"projectorModel", "", 1, 1, 0, 0, std::nullopt},
    EditRule{"automationSystem", "", 1, 1, 0, 0, std::nullopt},
    EditRule{"comments", "", 1, 1, 0, 0, std::nullopt},
};

const QHash<QString, FieldElement>& ElementsByName() {
  static const QHash<QString, FieldElement> byName = [] {
    QHash<QString, FieldElement> map;
    for (const auto& e : AllElements()) map.insert(QString::fromStdString(e.Name()), e);
    return map;
  }();
  return byName;
}

const EditRule* RuleOf(const FieldElement& e) {
  const std::string_view member = e.member ? e.member->name : std::string_view();
  for (const auto& rule : kRules) {
    if (rule.field == e.field->name && rule.member == member) return &rule;
  }
  return nullptr;
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

bool Allowed(const EditRule& rule, int v) {
  if (v < rule.low || v > rule.high) return false;
  return !rule.singleBit || (v & (v - 1)) == 0;
}

QString Shown(const FieldElement& e, int v) {
  ParameterImage image;
  StoreNumber(image, e, v);
  return QString::fromStdString(DisplayText(image, e));
}

// The stored value whose display text is text (ignoring case and a leading '+'), if any.
std::optional<int> FromDisplayText(const EditRule& rule, const FieldElement& e, const QString& text) {
  QString wanted = text.trimmed();
  if (wanted.startsWith(QLatin1Char('+'))) wanted.remove(0, 1);
  for (int v = rule.low; v <= rule.high; ++v) {
    if (Allowed(rule, v) && Shown(e, v).compare(wanted, Qt::CaseInsensitive) == 0) return v;
  }
  return std::nullopt;
}

QString RangeText(const EditRule& rule, const FieldElement& e) {
  if (rule.singleBit) return QStringLiteral("0 or one bit (1, 2, 4 .. 128)");
  QString range = QStringLiteral("%1..%2").arg(rule.low).arg(rule.high);
  const QString low = Shown(e, rule.low);
  const QString high = Shown(e, rule.high);
  if (low != QString::number(rule.low) || high != QString::number(rule.high)) {
    range += QStringLiteral(" (%1 .. %2)").arg(low, high);
  }
  return range;
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
  const EditRule* rule = RuleOf(e);
  if (!rule) return QStringLiteral("%1 is not changed by any editor of the program; set leaves it alone").arg(name);
  if (e.row >= rule->rows || e.index >= rule->entries) {
    return QStringLiteral("%1 is an entry no editor of the program changes; set leaves it alone").arg(name);
  }

  FieldEdit edit;
  edit.element = e;
  edit.edited = rule->edited;
  edit.editIndex = e.field->rows > 1 ? kGeqRowStride * e.row + e.index : e.index;

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

  // A display text first: the bit masks show binary digits that also read as decimal.
  if (const auto shown = FromDisplayText(*rule, e, value)) {
    edit.number = *shown;
    return edit;
  }
  static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]{1,6}$"));
  if (integer.match(value.trimmed()).hasMatch()) {
    const int v = value.trimmed().toInt();
    if (Allowed(*rule, v)) {
      edit.number = v;
      return edit;
    }
  }
  return QStringLiteral("%1: '%2' is outside the field's range %3").arg(name, value, RangeText(*rule, e));
}

bool ApplyEdit(ParameterImage& image, const FieldEdit& edit) {
  if (edit.element.kind == FieldKind::text) {
    const auto textField = TextFieldOf(edit.element);
    return textField && image.SetText(*textField, edit.text) == TextStoreResult::Stored;
  }
  StoreNumber(image, edit.element, edit.number);
  return true;
}

WriteSpan SpanOf(const FieldEdit& edit) { return WriteSpanFor(*edit.edited, edit.editIndex); }

}  // namespace mzr::ctl
