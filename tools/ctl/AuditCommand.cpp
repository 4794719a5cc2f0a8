// audit DIR: one search, then every unit found is read whole and compared with the project
// file in DIR that carries its MAC address, field by field as diff compares. The nightly
// check that tells which hall was changed since its approved setup.

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

#include "CtlRunner.h"
#include "ImageReport.h"
#include "Progress.h"
#include "files/ProjectFile.h"
#include "model/ValueFormat.h"

namespace mzr::ctl {
namespace {

QString MacText(const ParameterImage& image) {
  const auto bytes = image.All().subspan<addr::macAddress, 6>();
  return QString::fromStdString(FormatMac(bytes));
}

// A project file of the folder.
struct AuditFile {
  QString name;  // inside the folder
  ParameterImage image;
  QString mac;
  bool matched = false;
};

// One line of the report.
struct AuditLine {
  QString ip;      // empty for a file with no unit
  QString mac;
  QString hall;
  QString screen;
  QStringList files;
  QString status;  // in-step, differs, no-file, no-unit, no-answer, ambiguous, bad-file
  QStringList fields;
  QString detail;  // the human text of the status
};

QString FieldNameOf(const QString& diffLine) { return diffLine.section(QStringLiteral(": "), 0, 0); }

QJsonValue OrNull(const QString& text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); }

}  // namespace

CtlResult CtlRunner::Audit() {
  Progress progress(m_err);
  const QDir dir(m_args.operands[0]);
  if (!dir.exists() || !dir.isReadable()) {
    return CtlResult::Fail(ExitCode::fileError, QStringLiteral("%1: no such folder, or it cannot be read")
                                                     .arg(m_args.operands[0]));
  }

  // Any file name: what identifies a unit's file is the MAC address inside it. Files that
  // are not project files are passed over, except those named like one.
  QList<AuditFile> files;
  QList<AuditLine> lines;
  for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name)) {
    AuditFile file;
    file.name = info.fileName();
    const FileResult loaded = LoadProjectFile(std::filesystem::path(QFile::encodeName(info.filePath()).toStdString()),
                                              file.image);
    if (loaded == FileResult::Ok) {
      file.mac = MacText(file.image);
      files << file;
    } else if (info.suffix().compare(QLatin1String("kvdat"), Qt::CaseInsensitive) == 0) {
      const auto text = FileResultText(loaded);
      lines << AuditLine{{}, {}, {}, {}, {file.name}, QStringLiteral("bad-file"), {},
                         QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))};
    }
  }

  UnitSession* session = nullptr;
  if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
  progress.Line(QStringLiteral("searching for units (%1 project files in %2)").arg(files.size()).arg(dir.path()));
  QList<FoundUnit> units;
  const CtlResult searched = session->Search(m_args.searchTimeMs, &units);
  if (searched.code == ExitCode::usage) return searched;
  std::sort(units.begin(), units.end(), [](const FoundUnit& a, const FoundUnit& b) {
    return QHostAddress(a.ip).toIPv4Address() < QHostAddress(b.ip).toIPv4Address();
  });

  QList<AuditLine> unitLines;
  for (int i = 0; i < units.size(); ++i) {
    const FoundUnit& unit = units[i];
    AuditLine line;
    line.ip = unit.ip;
    line.mac = MacText(session->SearchImage(unit));
    line.hall = unit.hall;
    line.screen = unit.screen;
    QList<AuditFile*> mine;
    for (AuditFile& file : files) {
      if (file.mac == line.mac) {
        file.matched = true;
        mine << &file;
        line.files << file.name;
      }
    }
    if (mine.isEmpty()) {
      line.status = QStringLiteral("no-file");
      line.detail = QStringLiteral("no file for this unit");
    } else if (mine.size() > 1) {
      line.status = QStringLiteral("ambiguous");
      line.detail = QStringLiteral("%1 files carry this MAC address").arg(mine.size());
    } else {
      progress.Line(QStringLiteral("[%1/%2] reading %3").arg(i + 1).arg(units.size()).arg(unit.ip));
      ParameterImage current;
      if (session->ReadImage(unit.ip, &current).code != ExitCode::ok) {
        line.status = QStringLiteral("no-answer");
        line.detail = QStringLiteral("unit did not answer");
      } else {
        for (const QString& diff : DiffLines(mine.first()->image, current)) line.fields << FieldNameOf(diff);
        if (line.fields.isEmpty()) {
          line.status = QStringLiteral("in-step");
          line.detail = QStringLiteral("in step");
        } else {
          line.status = QStringLiteral("differs");
          line.detail = QStringLiteral("%1 %2: %3")
                            .arg(line.fields.size())
                            .arg(line.fields.size() == 1 ? QStringLiteral("field differs")
                                                         : QStringLiteral("fields differ"))
                            .arg(line.fields.join(QStringLiteral(", ")));
        }
      }
    }
    unitLines << line;
  }
  for (const AuditFile& file : files) {
    if (file.matched) continue;
    const auto text = [&file](TextField field) { return QString::fromStdString(file.image.Text(field)).trimmed(); };
    lines << AuditLine{{}, file.mac, text(TextField::theaterName), text(TextField::screenNumber), {file.name},
                       QStringLiteral("no-unit"), {}, QStringLiteral("file with no unit answering")};
  }
  lines = unitLines + lines;

  if (m_args.json) {
    QJsonArray array;
    for (const AuditLine& line : lines) {
      array.append(QJsonObject{{QStringLiteral("ip"), OrNull(line.ip)},
                               {QStringLiteral("mac"), OrNull(line.mac)},
                               {QStringLiteral("hall"), line.hall},
                               {QStringLiteral("screen"), line.screen},
                               {QStringLiteral("file"), OrNull(line.files.join(QStringLiteral(", ")))},
                               {QStringLiteral("status"), line.status},
                               {QStringLiteral("fields"), QJsonArray::fromStringList(line.fields)},
                               {QStringLiteral("text"), line.detail}});
    }
    m_out << QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
  } else {
    for (const AuditLine& line : lines) {
      const QString file = line.files.isEmpty() ? QStringLiteral("-") : line.files.join(QStringLiteral(", "));
      m_out << QStringLiteral("%1 %2 %3 %4")
                   .arg(line.ip.isEmpty() ? QStringLiteral("-") : line.ip, -15)
                   .arg(line.mac.isEmpty() ? QStringLiteral("-") : line.mac, -17)
                   .arg(file, -32)
                   .arg(line.detail)
            << '\n';
    }
  }

  const bool allInStep =
      std::all_of(lines.begin(), lines.end(), [](const AuditLine& l) { return l.status == QLatin1String("in-step"); });
  if (units.isEmpty()) return searched;  // "no unit answered the search ..."
  return allInStep ? CtlResult::Ok() : CtlResult{ExitCode::noAnswerOrDiffer, {}};
}

}  // namespace mzr::ctl
