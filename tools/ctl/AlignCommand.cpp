// align: fits one channel of a project file or a unit to a target from measurement files,
// prints the bands chosen with the residual before and after, and on request saves the result
// as a project file, writes the report, sends the changed fields to the unit as the editors
// do (each acknowledged before the next) and stores them. Every file is read and checked
// before anything is written or sent: a bad measurement changes nothing anywhere.

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

#include "CtlRunner.h"
#include "align/AlignmentTarget.h"
#include "align/AlignedEdits.h"
#include "align/EqualizerFit.h"
#include "align/MeasurementAverage.h"
#include "align/MeasurementFile.h"
#include "dsp/FilterDesign.h"
#include "model/ValueFormat.h"
#include "model/WriteSpan.h"
#include "report/AlignmentReport.h"

namespace mzr::ctl {
namespace {

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QString Text(const std::string& s) { return QString::fromStdString(s); }

std::filesystem::path PathOf(const QString& path) { return std::filesystem::path(QFile::encodeName(path).toStdString()); }

QString Residual(double db) {
  const double shown = std::abs(db) < 0.005 ? 0.0 : db;
  return (shown > 0 ? QStringLiteral("+") : QString()) + QString::number(shown, 'f', 2);
}

}  // namespace

CtlResult CtlRunner::Align() {
  const QString source = m_args.operands[0];
  const int channel = *m_args.channel;
  const bool sub = channel == kSubwooferChannel;
  const double fromHz = m_args.fromHz.value_or(sub ? 20.0 : 40.0);
  const double toHz = m_args.toHz.value_or(sub ? 120.0 : 16000.0);
  if (fromHz >= toHz) return CtlResult::Fail(ExitCode::usage, QStringLiteral("--from must be below --to"));

  // Every file first: measurements, then the target.
  const ResponseGrid grid;
  std::vector<GridCurve> positions;
  for (const QString& path : m_args.measurements) {
    const MeasurementResult read = ReadMeasurementFile(PathOf(path), path.toStdString());
    if (const auto* error = std::get_if<AlignError>(&read)) return CtlResult::Fail(ExitCode::fileError, Text(error->Text()));
    const Measurement& m = std::get<Measurement>(read);
    if (const auto error = CheckCoverage(m, fromHz, toHz)) return CtlResult::Fail(ExitCode::fileError, Text(error->Text()));
    positions.push_back(InterpolateOnGrid(m, grid));
  }
  const QString targetText = m_args.target.isEmpty() ? (sub ? QStringLiteral("flat") : QStringLiteral("x-curve")) : m_args.target;
  AlignmentTarget target;
  if (const auto kind = BuiltInTargetNamed(targetText.toStdString())) {
    target = BuiltInTarget(*kind, grid);
  } else {
    const MeasurementResult read = ReadMeasurementFile(PathOf(targetText), targetText.toStdString());
    if (const auto* error = std::get_if<AlignError>(&read)) return CtlResult::Fail(ExitCode::fileError, Text(error->Text()));
    auto made = TargetFromMeasurement(std::get<Measurement>(read), grid, fromHz, toHz);
    if (const auto* error = std::get_if<AlignError>(&made)) return CtlResult::Fail(ExitCode::fileError, Text(error->Text()));
    target = std::get<AlignmentTarget>(std::move(made));
  }

  // The settings the channel was measured with.
  const auto unit = QFileInfo::exists(source) ? std::nullopt : UnitAddress(source);
  if (m_args.apply && !unit) {
    return CtlResult::Fail(ExitCode::usage, QStringLiteral("--apply needs a unit's IP as SOURCE; '%1' is a file").arg(source));
  }
  FitRequest request;
  request.channel = channel;
  request.average = PowerAverage(positions);
  request.target = target.db;
  request.fromHz = fromHz;
  request.toHz = toHz;
  if (auto loaded = LoadOperand(source, request.image); loaded.code != ExitCode::ok) return loaded;

  auto fitted = FitEqualizer(request);
  if (const auto* error = std::get_if<AlignError>(&fitted)) return CtlResult::Fail(ExitCode::fileError, Text(error->Text()));
  const FitResult& fit = std::get<FitResult>(fitted);
  const std::vector<AlignedEdit> edits = AlignedEdits(request.image, fit.image, channel);

  // Files before frames: a file that cannot be written stops the command before the unit
  // is touched.
  if (!m_args.outPath.isEmpty()) {
    if (auto saved = SaveFile(m_args.outPath, fit.image); saved.code != ExitCode::ok) return saved;
  }
  if (!m_args.reportPath.isEmpty()) {
    ReportChannel aligned;
    aligned.channel = channel;
    aligned.fit = fit;
    aligned.targetName = Text(target.name);
    aligned.measurements = m_args.measurements;
    const AlignmentReportInput report = AlignmentReport::ForUnit(fit.image, {aligned}, QDateTime::currentDateTime());
    if (const auto failed = AlignmentReport::Write(m_args.reportPath, report)) {
      return CtlResult::Fail(ExitCode::fileError, QStringLiteral("%1: cannot write the report (%2)").arg(m_args.reportPath, *failed));
    }
  }

  int sent = 0;
  if (m_args.apply) {
    UnitSession* session = nullptr;
    if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
    for (const AlignedEdit& edit : edits) {
      if (auto acknowledged = session->SendEdit(*unit, fit.image, WriteSpanFor(edit.field, edit.index), Text(edit.what));
          acknowledged.code != ExitCode::ok) {
        acknowledged.error += QStringLiteral(" (%1 of %2 changes were acknowledged; nothing stored)").arg(sent).arg(edits.size());
        return acknowledged;
      }
      ++sent;
    }
    if (m_args.store) {
      if (auto stored = session->Store(*unit); stored.code != ExitCode::ok) return stored;
    }
  }

  if (m_args.json) {
    QJsonArray bands;
    for (const BandRow& b : fit.bands) {
      QJsonObject row{{QStringLiteral("hz"), b.hz},
                      {QStringLiteral("tenths"), b.tenthsAfter},
                      {QStringLiteral("tenthsBefore"), b.tenthsBefore},
                      {QStringLiteral("residualBefore"), std::round(b.residualBefore * 1000.0) / 1000.0},
                      {QStringLiteral("residualAfter"), std::round(b.residualAfter * 1000.0) / 1000.0}};
      if (sub) {
        row.insert(QStringLiteral("hzBefore"), b.hzBefore);
        row.insert(QStringLiteral("qIndex"), b.qIndexAfter);
        row.insert(QStringLiteral("qIndexBefore"), b.qIndexBefore);
      }
      bands.append(row);
    }
    QJsonObject out{{QStringLiteral("channel"), channel},
                    {QStringLiteral("target"), Text(target.name)},
                    {QStringLiteral("fromHz"), fromHz},
                    {QStringLiteral("toHz"), toHz},
                    {QStringLiteral("measurements"), QJsonArray::fromStringList(m_args.measurements)},
                    {QStringLiteral("rmsBefore"), std::round(fit.rmsBefore * 1000.0) / 1000.0},
                    {QStringLiteral("rmsAfter"), std::round(fit.rmsAfter * 1000.0) / 1000.0},
                    {QStringLiteral("levelAfter"), std::round(fit.levelAfter * 100.0) / 100.0},
                    {sub ? QStringLiteral("sections") : QStringLiteral("bands"), bands},
                    {QStringLiteral("changedFields"), static_cast<int>(edits.size())},
                    {QStringLiteral("sent"), sent},
                    {QStringLiteral("stored"), m_args.apply && m_args.store}};
    if (!sub) {
      const ToneControl tone = fit.image.toneControl(channel);
      out.insert(QStringLiteral("bass"), QJsonObject{{QStringLiteral("tenths"), tone.bassGain},
                                                     {QStringLiteral("corner"), tone.bassFreq}});
      out.insert(QStringLiteral("treble"), QJsonObject{{QStringLiteral("tenths"), tone.trebleGain},
                                                       {QStringLiteral("corner"), tone.trebleFreq}});
    }
    m_out << QString::fromUtf8(QJsonDocument(out).toJson(QJsonDocument::Indented));
    return CtlResult::Ok();
  }

  m_out << QStringLiteral("channel %1, target %2, %3 Hz to %4 Hz, %5 measurement(s) power-averaged\n")
               .arg(channel)
               .arg(Text(target.name))
               .arg(fromHz, 0, 'f', 0)
               .arg(toHz, 0, 'f', 0)
               .arg(m_args.measurements.size());
  if (sub) {
    m_out << QStringLiteral("section  frequency  Q     gain     was                     residual before  after\n");
    for (std::size_t k = 0; k < fit.bands.size(); ++k) {
      const BandRow& b = fit.bands[k];
      m_out << QStringLiteral("%1  %2  %3 %4 %5 %6 %7\n")
                   .arg(k + 1, -7)
                   .arg(QStringLiteral("%1Hz").arg(b.hz), -9)
                   .arg(Text(FormatQ(b.qIndexAfter)), -5)
                   .arg(Text(FormatTenthsDb(b.tenthsAfter)), -8)
                   .arg(QStringLiteral("%1Hz Q%2 %3").arg(b.hzBefore).arg(Text(FormatQ(b.qIndexBefore)), Text(FormatTenthsDb(b.tenthsBefore))), -23)
                   .arg(Residual(b.residualBefore), 16)
                   .arg(Residual(b.residualAfter), 6);
    }
  } else {
    m_out << QStringLiteral("band     gain     was      residual before  after\n");
    for (std::size_t k = 0; k < fit.bands.size(); ++k) {
      const BandRow& b = fit.bands[k];
      m_out << QStringLiteral("%1 %2 %3 %4 %5\n")
                   .arg(Text(GeqBandLabel(static_cast<int>(k))), -8)
                   .arg(Text(FormatTenthsDb(b.tenthsAfter)), -8)
                   .arg(Text(FormatTenthsDb(b.tenthsBefore)), -8)
                   .arg(Residual(b.residualBefore), 16)
                   .arg(Residual(b.residualAfter), 6);
    }
    const ToneControl was = request.image.toneControl(channel);
    const ToneControl now = fit.image.toneControl(channel);
    const auto shelf = [](int tenths, std::string_view corner) {
      return tenths == 0 ? QStringLiteral("off (0.0dB)") : QStringLiteral("%1 at %2").arg(Text(FormatTenthsDb(tenths)), Text(corner));
    };
    m_out << QStringLiteral("bass shelf   %1 (was %2)\n").arg(shelf(now.bassGain, BassCornerLabel(now.bassFreq)),
                                                               shelf(was.bassGain, BassCornerLabel(was.bassFreq)));
    m_out << QStringLiteral("treble shelf %1 (was %2)\n").arg(shelf(now.trebleGain, TrebleCornerLabel(now.trebleFreq)),
                                                               shelf(was.trebleGain, TrebleCornerLabel(was.trebleFreq)));
  }
  m_out << QStringLiteral("RMS of the residual, mean removed: before %1 dB, after %2 dB (predicted)\n")
               .arg(fit.rmsBefore, 0, 'f', 2)
               .arg(fit.rmsAfter, 0, 'f', 2);
  m_out << QStringLiteral("mean level over the fit range after the fit: %1 dB on the measurements' scale "
                          "(the level is set with the output level)\n")
               .arg(fit.levelAfter, 0, 'f', 1);
  if (m_args.apply) {
    m_out << QStringLiteral("sent %1 changed field(s) to %2, each acknowledged%3\n")
                 .arg(sent)
                 .arg(*unit, m_args.store ? QStringLiteral("; stored") : QString());
  }
  return CtlResult::Ok();
}

}  // namespace mzr::ctl
