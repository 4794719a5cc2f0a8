#include "CtlRunner.h"

#include <QFileInfo>
#include <QJsonDocument>

#include "ImageReport.h"
#include "files/ProjectFile.h"

namespace mzr::ctl {
namespace {

std::filesystem::path PathOf(const QString& path) { return std::filesystem::path(path.toStdString()); }

QString ResultText(FileResult result) {
  const auto text = FileResultText(result);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CtlRunner::CtlRunner(CtlArguments arguments, QTextStream& out, QTextStream& err)
    : m_args(std::move(arguments)), m_out(out), m_err(err) {}

CtlResult CtlRunner::Run() {
  switch (m_args.command) {
    case Command::help:
      m_out << UsageText();
      return CtlResult::Ok();
    case Command::show:
      return Show();
    case Command::diff:
      return Diff();
    case Command::curve:
      return Curve();
    case Command::search:
      return Search();
    case Command::backup:
      return m_args.all ? BackupAll() : Backup();
    case Command::restore:
      return Restore();
    case Command::restart:
      return Restart();
    case Command::setNet:
      return SetNet();
  }
  return CtlResult::Fail(ExitCode::usage, QStringLiteral("unknown command"));
}

CtlResult CtlRunner::LoadFile(const QString& path, ParameterImage& image) const {
  const FileResult result = LoadProjectFile(PathOf(path), image);
  if (result == FileResult::Ok) return CtlResult::Ok();
  return CtlResult::Fail(ExitCode::fileError, QStringLiteral("%1: %2").arg(path, ResultText(result)));
}

CtlResult CtlRunner::SaveFile(const QString& path, const ParameterImage& image) const {
  const FileResult result = SaveProjectFile(PathOf(path), image);
  if (result == FileResult::Ok) return CtlResult::Ok();
  return CtlResult::Fail(ExitCode::fileError, QStringLiteral("%1: %2").arg(path, ResultText(result)));
}

CtlResult CtlRunner::Show() {
  ParameterImage image;
  if (auto loaded = LoadFile(m_args.operands[0], image); loaded.code != ExitCode::ok) return loaded;
  if (m_args.json) {
    m_out << QString::fromUtf8(QJsonDocument(ShowJson(image)).toJson(QJsonDocument::Indented));
  } else {
    for (const auto& line : ShowLines(image)) m_out << line << '\n';
  }
  return CtlResult::Ok();
}

CtlResult CtlRunner::Diff() {
  ParameterImage a;
  ParameterImage b;
  if (auto loaded = LoadOperand(m_args.operands[0], a); loaded.code != ExitCode::ok) return loaded;
  if (auto loaded = LoadOperand(m_args.operands[1], b); loaded.code != ExitCode::ok) return loaded;
  const QStringList lines = DiffLines(a, b);
  for (const auto& line : lines) m_out << line << '\n';
  return lines.isEmpty() ? CtlResult::Ok() : CtlResult{ExitCode::noAnswerOrDiffer, {}};
}

}  // namespace mzr::ctl
