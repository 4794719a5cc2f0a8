#include "CtlRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <cmath>

#include "ImageReport.h"
#include "Progress.h"
#include "core/Config.h"
#include "dsp/FilterDesign.h"
#include "dsp/ResponseEvaluation.h"
#include "dsp/ResponseGrid.h"
#include "dsp/SectionStore.h"
#include "files/ProjectFile.h"
#include "ui/equalizer/graph/EqualizerGraphPainter.h"

namespace mzr::ctl {
namespace {

std::filesystem::path PathOf(const QString& path) { return std::filesystem::path(QFile::encodeName(path).toStdString()); }

// A file-name part from a unit's text: letters and digits of any script kept, anything a
// file system or a shell could trip on replaced, no leading dot, bounded length.
QString SafeNamePart(const QString& text) {
  QString safe;
  for (const QChar c : text.trimmed()) {
    const bool keep = c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('.') || c == QLatin1Char('_');
    safe += keep ? c : QLatin1Char('_');
  }
  if (safe.startsWith(QLatin1Char('.'))) safe[0] = QLatin1Char('_');
  return safe.left(40);
}

// How long a command waits for another one on the same port to finish.
constexpr int kPortLockWaitMs = 120000;

QString ResultText(FileResult result) {
  const auto text = FileResultText(result);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CtlRunner::CtlRunner(CtlArguments arguments, QTextStream& out, QTextStream& err)
    : m_args(std::move(arguments)), m_out(out), m_err(err) {}

CtlResult CtlRunner::LockPort(quint16 port, PortLock::Holder holder, int waitMs) {
  auto lock = std::make_unique<PortLock>(port, holder);
  switch (lock->Acquire(waitMs)) {
    case PortLock::Outcome::Locked:
      break;
    case PortLock::Outcome::CannotOpen:
      return CtlResult::Fail(ExitCode::fileError, lock->refusal());
    case PortLock::Outcome::HeldByOther:
      return CtlResult::Fail(ExitCode::noAnswerOrDiffer, lock->refusal());
  }
  m_portLock = std::move(lock);
  return CtlResult::Ok();
}

CtlResult CtlRunner::Run() {
  switch (m_args.command) {
    case Command::help:
      m_out << UsageText();
      return CtlResult::Ok();
    case Command::version:
      m_out << QStringLiteral("mzr4700ctl %1\n").arg(QStringLiteral(MZR_VERSION_TEXT));
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
    case Command::audit:
      return Audit();
    case Command::get:
      return GetFields();
    case Command::set:
      return SetFields();
    case Command::bridge:
      return Bridge();
    case Command::align:
      return Align();
    case Command::measure:
      return Measure();
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
  // An address no unit can have is refused before anything is sent, as the other commands
  // refuse it: a read sent to 255.255.255.255 would take any unit's image.
  for (const QString& operand : m_args.operands) {
    if (!QFileInfo::exists(operand) && !UnitAddress(operand) &&
        QHostAddress(operand).protocol() == QAbstractSocket::IPv4Protocol && operand.count(QLatin1Char('.')) == 3) {
      return CtlResult::Fail(ExitCode::usage, QStringLiteral("'%1' is not a unit's IPv4 address").arg(operand));
    }
  }
  ParameterImage a;
  ParameterImage b;
  if (auto loaded = LoadOperand(m_args.operands[0], a); loaded.code != ExitCode::ok) return loaded;
  if (auto loaded = LoadOperand(m_args.operands[1], b); loaded.code != ExitCode::ok) return loaded;
  const QStringList lines = DiffLines(a, b);
  for (const auto& line : lines) m_out << line << '\n';
  return lines.isEmpty() ? CtlResult::Ok() : CtlResult{ExitCode::noAnswerOrDiffer, {}};
}


CtlRunner::~CtlRunner() = default;

CtlResult CtlRunner::Session(UnitSession** session) {
  if (!m_session) {
    // The same sources as the program, the command line first.
    if (!m_args.localIp.isEmpty()) qputenv("MZR4700_LOCAL_IP", m_args.localIp.toUtf8());
    UnitSession::Options options;
    options.port = m_args.port.value_or(UdpPort());
    options.timeoutMs = m_args.timeoutMs.value_or(2000);
    // Every instance shares the port, and an answer reaches only one of them: two commands
    // at once could each take the other's reply, and a backup could hold another unit's
    // settings. Commands on the same port of this PC take turns; while the program holds
    // the port they refuse at once, before anything is sent.
    if (auto locked = LockPort(options.port, PortLock::Holder::Companion, kPortLockWaitMs); locked.code != ExitCode::ok) {
      return locked;
    }
    auto created = std::make_unique<UnitSession>(options);
    if (auto opened = created->Open(); opened.code != ExitCode::ok) return opened;
    m_session = std::move(created);
  }
  *session = m_session.get();
  return CtlResult::Ok();
}

CtlResult CtlRunner::LoadOperand(const QString& operand, ParameterImage& image) {
  const auto unit = QFileInfo::exists(operand) ? std::nullopt : UnitAddress(operand);
  if (!unit) return LoadFile(operand, image);
  UnitSession* session = nullptr;
  if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
  return session->ReadImage(*unit, &image);
}

CtlResult CtlRunner::Search() {
  UnitSession* session = nullptr;
  if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
  QList<FoundUnit> units;
  const CtlResult result = session->Search(m_args.searchTimeMs, &units);
  if (result.code == ExitCode::usage) return result;
  if (m_args.json) {
    QJsonArray array;
    for (const auto& unit : units) {
      array.append(QJsonObject{{QStringLiteral("ip"), unit.ip},
                               {QStringLiteral("hall"), unit.hall},
                               {QStringLiteral("screen"), unit.screen},
                               {QStringLiteral("model"), unit.model},
                               {QStringLiteral("mac"), unit.mac},
                               {QStringLiteral("mask"), unit.mask},
                               {QStringLiteral("gateway"), unit.gateway},
                               {QStringLiteral("port"), unit.port.toInt()}});
    }
    m_out << QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
  } else {
    const auto row = [](const QStringList& cells) {
      static const int widths[] = {16, 20, 10, 10, 18, 16, 16};
      QString line;
      for (int i = 0; i < cells.size(); ++i) line += i < 7 ? cells[i].leftJustified(widths[i]) + QLatin1Char(' ') : cells[i];
      return line;
    };
    m_out << row({QStringLiteral("IP"), QStringLiteral("Hall"), QStringLiteral("Screen"), QStringLiteral("Model"),
                  QStringLiteral("MAC"), QStringLiteral("Mask"), QStringLiteral("Gateway"), QStringLiteral("Port")})
          << '\n';
    for (const auto& u : units) m_out << row({u.ip, u.hall, u.screen, u.model, u.mac, u.mask, u.gateway, u.port}) << '\n';
  }
  return result;
}

CtlResult CtlRunner::Backup() {
  UnitSession* session = nullptr;
  if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
  ParameterImage image;
  if (auto read = session->ReadImage(m_args.operands[0], &image); read.code != ExitCode::ok) return read;
  return SaveFile(m_args.operands[1], image);
}

CtlResult CtlRunner::BackupAll() {
  const QString dirPath = m_args.operands[0];
  UnitSession* session = nullptr;
  if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
  QList<FoundUnit> units;
  if (auto searched = session->Search(m_args.searchTimeMs, &units); searched.code != ExitCode::ok) return searched;
  if (!QDir().mkpath(dirPath)) {
    return CtlResult::Fail(ExitCode::fileError, QStringLiteral("%1: cannot create this folder").arg(dirPath));
  }

  // Each unit sent its whole image with its search reply: save that, as connecting does.
  const QDir dir(dirPath);
  Progress progress(m_err);
  int failed = 0;
  for (int i = 0; i < units.size(); ++i) {
    const FoundUnit& unit = units[i];
    QStringList parts;
    for (const QString& part : {SafeNamePart(unit.hall), SafeNamePart(unit.screen), SafeNamePart(unit.ip)}) {
      if (!part.isEmpty()) parts << part;
    }
    const QString path = dir.filePath(parts.join(QLatin1Char('_')) + QStringLiteral(".KVdat"));
    const CtlResult saved = SaveFile(path, session->SearchImage(unit));
    if (saved.code == ExitCode::ok) {
      progress.Line(QStringLiteral("[%1/%2] %3 -> %4").arg(i + 1).arg(units.size()).arg(unit.ip, path));
    } else {
      // A failure is an error, not progress: it is said whoever reads it.
      ++failed;
      m_err << QStringLiteral("[%1/%2] %3: %4").arg(i + 1).arg(units.size()).arg(unit.ip, saved.error) << '\n';
      m_err.flush();
    }
  }
  if (failed > 0) {
    return CtlResult::Fail(ExitCode::fileError,
                           QStringLiteral("%1 of %2 units could not be saved").arg(failed).arg(units.size()));
  }
  return CtlResult::Ok();
}

CtlResult CtlRunner::Restore() {
  ParameterImage image;
  if (auto loaded = LoadFile(m_args.operands[0], image); loaded.code != ExitCode::ok) return loaded;
  UnitSession* session = nullptr;
  if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
  return session->Restore(m_args.operands[1], image);
}

CtlResult CtlRunner::Restart() {
  UnitSession* session = nullptr;
  if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
  return session->Restart(m_args.operands[0]);
}

CtlResult CtlRunner::SetNet() {
  UnitSession* session = nullptr;
  if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
  return session->ChangeNetwork(m_args.operands[0], m_args.newIp, m_args.newMask, m_args.newGateway,
                                m_args.searchTimeMs);
}


CtlResult CtlRunner::Curve() {
  ParameterImage image;
  if (auto loaded = LoadFile(m_args.operands[0], image); loaded.code != ExitCode::ok) return loaded;
  const int channel = *m_args.channel;

  // The same design and evaluation the equalizer page draws from.
  SectionStore store;
  const int sections = DesignChannel(store, image, channel);
  const ResponseGrid grid;
  const ResponseCurve curve = EvaluateResponse(grid, store.First(sections), ZeroLineRow(channel));
  // The picture first: a failed write leaves no half output behind.
  if (!m_args.pngPath.isEmpty()) {
    const QImage graph = EqualizerGraphPainter().RenderEqualizerGraph(image, channel);
    QSaveFile file(m_args.pngPath);
    if (!file.open(QIODevice::WriteOnly) || !graph.save(&file, "PNG") || !file.commit()) {
      return CtlResult::Fail(ExitCode::fileError, QStringLiteral("%1: cannot write the PNG (%2)")
                                                      .arg(m_args.pngPath, file.errorString()));
    }
  }
  for (const CurvePoint& point : curve) {
    const double gain = std::abs(point.gainDb) < 5e-5 ? 0.0 : point.gainDb;  // no "-0.0000"
    m_out << QString::number(point.hz, 'f', 3) << ' ' << QString::number(gain, 'f', 4) << ' ' << point.row << '\n';
  }

  return CtlResult::Ok();
}

}  // namespace mzr::ctl
