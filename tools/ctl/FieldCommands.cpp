// get and set: single fields of a project file or of a unit. Every name and value is checked
// before anything is read, written or sent, so a refused command changes nothing anywhere.

#include <QFileInfo>
#include <QHostAddress>

#include "CtlRunner.h"
#include "workspace/EditIntents.h"
#include "workspace/FieldEdit.h"

namespace mzr::ctl {
namespace {

// An operand that looks like an address no unit can have is refused, as diff refuses it.
std::optional<QString> ImpossibleUnit(const QString& operand) {
  if (!QFileInfo::exists(operand) && !UnitAddress(operand) &&
      QHostAddress(operand).protocol() == QAbstractSocket::IPv4Protocol && operand.count(QLatin1Char('.')) == 3) {
    return QStringLiteral("'%1' is not a unit's IPv4 address").arg(operand);
  }
  return std::nullopt;
}

}  // namespace

CtlResult CtlRunner::GetFields() {
  const QString target = m_args.operands[0];
  if (const auto refused = ImpossibleUnit(target)) return CtlResult::Fail(ExitCode::usage, *refused);
  std::vector<FieldElement> elements;
  for (const QString& name : m_args.operands.mid(1)) {
    auto named = ElementsNamed(name);
    if (auto* refusal = std::get_if<QString>(&named)) return CtlResult::Fail(ExitCode::usage, *refusal);
    const auto& found = std::get<std::vector<FieldElement>>(named);
    elements.insert(elements.end(), found.begin(), found.end());
  }
  ParameterImage image;
  if (auto loaded = LoadOperand(target, image); loaded.code != ExitCode::ok) return loaded;
  for (const FieldElement& e : elements) {
    m_out << QStringLiteral("%1 %2 %3")
                 .arg(QString::fromStdString(e.Name()), -28)
                 .arg(QString::fromStdString(StoredText(image, e)), -20)
                 .arg(QString::fromStdString(DisplayText(image, e)))
                 .trimmed()
          << '\n';
  }
  return CtlResult::Ok();
}

CtlResult CtlRunner::SetFields() {
  const QString target = m_args.operands[0];
  if (const auto refused = ImpossibleUnit(target)) return CtlResult::Fail(ExitCode::usage, *refused);
  const auto unit = QFileInfo::exists(target) ? std::nullopt : UnitAddress(target);

  std::vector<FieldEdit> edits;
  for (const QString& assignment : m_args.operands.mid(1)) {
    auto parsed = ParseAssignment(assignment);
    if (auto* refusal = std::get_if<QString>(&parsed)) return CtlResult::Fail(ExitCode::usage, *refusal);
    FieldEdit& edit = edits.emplace_back(std::get<FieldEdit>(std::move(parsed)));
    if (unit && !edit.edited) {
      return CtlResult::Fail(ExitCode::usage,
                             QStringLiteral("%1 reaches a unit only with the whole image: set it in a project file "
                                            "and restore that")
                                 .arg(QString::fromStdString(edit.element.Name())));
    }
  }

  if (!unit) {
    if (m_args.store) return CtlResult::Fail(ExitCode::usage, QStringLiteral("--store applies to a unit, not a file"));
    ParameterImage image;
    if (auto loaded = LoadFile(target, image); loaded.code != ExitCode::ok) return loaded;
    for (const FieldEdit& edit : edits) ApplyEdit(image, edit);
    return SaveFile(target, image);
  }

  // The bytes around each field come from what the unit holds now, as the program's image
  // holds them after connecting.
  UnitSession* session = nullptr;
  if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
  ParameterImage image;
  if (auto read = session->ReadImage(*unit, &image); read.code != ExitCode::ok) return read;
  // The read put the unit's image into the session's workspace, where the intents plan.
  const EditIntents& intents = session->workspace().intents();
  for (const FieldEdit& edit : edits) {
    const QString what = QStringLiteral("the write of %1").arg(QString::fromStdString(edit.element.Name()));
    if (auto sent = session->Carry(*unit, intents.SetField(edit), what); sent.code != ExitCode::ok) return sent;
  }
  if (m_args.store) return session->Store(*unit);
  return CtlResult::Ok();
}

}  // namespace mzr::ctl
