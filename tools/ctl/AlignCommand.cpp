// align: fits one channel of a project file or a unit to a target from measurement files,
// prints the bands chosen with the residual before and after, and on request saves the result
// as a project file, writes the report, sends the changed fields to the unit as the editors
// do (each acknowledged before the next) and stores them. Every file is read and checked
// before anything is written or sent: a bad measurement changes nothing anywhere.

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
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
#include "files/ProjectFile.h"
#include "report/AlignmentReport.h"
#include "workspace/EditIntents.h"
#include "workspace/Workspace.h"

namespace mzr::ctl {
namespace {

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QString Text(const std::string& s) { return QString::fromStdString(s); }

std::filesystem::path PathOf(const QString& path) { return std::filesystem::path(QFile::encodeName(path).toStdString()); }

// A residual in JSON: null where there is none (outside the measurement).
QJsonValue Rounded(double db) { return std::isfinite(db) ? QJsonValue(std::round(db * 1000.0) / 1000.0) : QJsonValue(); }

QString Residual(double db) {
  if (!std::isfinite(db)) return QStringLiteral("-");
  const double shown = std::abs(db) < 0.005 ? 0.0 : db;
  return (shown > 0 ? QStringLiteral("+") : QString()) + QString::number(shown, 'f', 2);
}

}  // namespace

namespace {

// --out and --report: both made complete beside their places, then put there.
CtlResult WriteAlignFiles(const CtlArguments& m_args, const FitResult& fit, const AlignmentTarget& target,
                          const ToleranceBand& tolerance, const QString& room) {
  if (m_args.outPath.isEmpty() && m_args.reportPath.isEmpty()) return CtlResult::Ok();
  std::optional<QByteArray> report;
  if (!m_args.reportPath.isEmpty()) {
    ReportChannel aligned;
    aligned.channel = fit.channel;
    aligned.fit = fit;
    aligned.targetName = Text(target.description);
    aligned.measurements = m_args.measurements;
    aligned.tolerance = Text(tolerance.Source());
    AlignmentReportInput input = AlignmentReport::ForUnit(fit.image, {aligned}, QDateTime::currentDateTime());
    input.signature = {m_args.installer, room, m_args.mic, m_args.notes};
    auto rendered = AlignmentReport::Render(m_args.reportPath, input);
    if (const auto* failed = std::get_if<QString>(&rendered)) {
      return CtlResult::Fail(ExitCode::fileError, QStringLiteral("%1: cannot write the report (%2)").arg(m_args.reportPath, *failed));
    }
    report = std::get<QByteArray>(std::move(rendered));
  }
  QSaveFile reportFile(m_args.reportPath);
  if (report && (!reportFile.open(QIODevice::WriteOnly) || reportFile.write(*report) != report->size())) {
    return CtlResult::Fail(ExitCode::fileError,
                           QStringLiteral("%1: cannot write the report (%2)").arg(m_args.reportPath, reportFile.errorString()));
  }
  QString outTemporary;
  if (!m_args.outPath.isEmpty()) {
    outTemporary = m_args.outPath + QStringLiteral(".part");
    if (const FileResult saved = SaveProjectFile(PathOf(outTemporary), fit.image); saved != FileResult::Ok) {
      QFile::remove(outTemporary);
      return CtlResult::Fail(ExitCode::fileError, QStringLiteral("%1: %2").arg(m_args.outPath, Text(FileResultText(saved))));
    }
  }
  if (report && !reportFile.commit()) {
    if (!outTemporary.isEmpty()) QFile::remove(outTemporary);
    return CtlResult::Fail(ExitCode::fileError,
                           QStringLiteral("%1: cannot write the report (%2)").arg(m_args.reportPath, reportFile.errorString()));
  }
  if (!outTemporary.isEmpty()) {
    std::error_code error;
    std::filesystem::rename(PathOf(outTemporary), PathOf(m_args.outPath), error);
    if (error) {
      QFile::remove(outTemporary);
      return CtlResult::Fail(ExitCode::fileError, QStringLiteral("%1: %2").arg(m_args.outPath, Text(error.message())));
    }
  }
  return CtlResult::Ok();
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
  // The room's size chooses the wide-range curve's slopes: seats, or a volume (under 150 m3
  // the small-room curve).
  std::optional<double> seats = m_args.seats ? std::optional<double>(*m_args.seats) : std::nullopt;
  QString room = m_args.seats ? QStringLiteral("%1 seats").arg(*m_args.seats) : QString();
  std::optional<TargetKind> builtIn = BuiltInTargetNamed(targetText.toStdString());
  if (m_args.volumeM3) {
    room = QStringLiteral("%1 m3").arg(*m_args.volumeM3, 0, 'f', 0);
    seats = SeatsForVolume(*m_args.volumeM3);
    if (!seats && builtIn == TargetKind::xCurve) builtIn = TargetKind::smallRoom;
    if (seats) room += QStringLiteral(" (about %1 seats at %2 m3 a seat, the installer's rule)").arg(std::round(*seats)).arg(kCubicMetresPerSeat);
  }
  if (builtIn) {
    target = BuiltInTarget(*builtIn, grid, SlopesForSeats(seats.value_or(500.0)));
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
  request.mode = m_args.exactFit ? FitMode::exact : FitMode::installer;
  request.smoothingFraction = m_args.smoothing.value_or(3);
  request.maxBoostDb = m_args.maxBoostDb.value_or(3.0);
  if (auto loaded = LoadOperand(source, request.image); loaded.code != ExitCode::ok) return loaded;

  auto fitted = FitEqualizer(request);
  if (const auto* error = std::get_if<AlignError>(&fitted)) return CtlResult::Fail(ExitCode::fileError, Text(error->Text()));
  FitResult& fit = std::get<FitResult>(fitted);
  // The output level moves only when asked, by the change that keeps the reference level.
  if (m_args.setLevel) {
    fit.image.setOutputLevel(channel, static_cast<std::uint8_t>(OutputLevelAfterChange(request.image.outputLevel(channel), fit.levelChangeDb)));
  }
  const std::vector<AlignedEdit> edits = AlignedEdits(request.image, fit.image, channel);
  const ToleranceBand tolerance = BandFor(channel, fit.fromHz, fit.toHz);

  // Files before frames: a file that cannot be written stops the command before the unit
  // is touched. Both files are made complete beside their places first and only then put
  // there, so a report that cannot be written leaves no --out either.
  if (auto written = WriteAlignFiles(m_args, fit, target, tolerance, room); written.code != ExitCode::ok) return written;

  const int sent = static_cast<int>(edits.size());
  if (m_args.apply) {
    UnitSession* session = nullptr;
    if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
    // The fit as one plan of the workspace's intents, on the settings just read from the
    // unit: each changed field's frame as its editor sends it, each acknowledged before the
    // next.
    Workspace& workspace = session->workspace();
    workspace.image() = request.image;
    if (auto acknowledged = session->Carry(*unit, workspace.intents().ApplyFit(edits, fit.image),
                                           QStringLiteral("the changes of the fit"));
        acknowledged.code != ExitCode::ok) {
      acknowledged.error += QStringLiteral("; nothing stored");
      return acknowledged;
    }
    if (m_args.store) {
      if (auto stored = session->Store(*unit); stored.code != ExitCode::ok) return stored;
    }
  }

  if (m_args.json) {
    QJsonArray leftOut;
    for (const FrequencySpan& span : fit.leftOut) {
      leftOut.append(QJsonObject{{QStringLiteral("fromHz"), std::round(span.fromHz)}, {QStringLiteral("toHz"), std::round(span.toHz)}});
    }
    QJsonArray bands;
    for (const BandRow& b : fit.bands) {
      QJsonObject row{{QStringLiteral("hz"), b.hz},
                      {QStringLiteral("tenths"), b.tenthsAfter},
                      {QStringLiteral("tenthsBefore"), b.tenthsBefore},
                      {QStringLiteral("residualBefore"), Rounded(b.residualBefore)},
                      {QStringLiteral("residualAfter"), Rounded(b.residualAfter)},
                      {QStringLiteral("inRange"), b.inRange},
                      {QStringLiteral("leftOut"), b.leftOut}};
      if (sub) {
        row.insert(QStringLiteral("hzBefore"), b.hzBefore);
        row.insert(QStringLiteral("qIndex"), b.qIndexAfter);
        row.insert(QStringLiteral("qIndexBefore"), b.qIndexBefore);
      }
      bands.append(row);
    }
    QJsonObject out{{QStringLiteral("channel"), channel},
                    {QStringLiteral("target"), Text(target.name)},
                    {QStringLiteral("fromHz"), fit.fromHz},
                    {QStringLiteral("toHz"), toHz},
                    {QStringLiteral("measurements"), QJsonArray::fromStringList(m_args.measurements)},
                    {QStringLiteral("rmsBefore"), std::round(fit.rmsBefore * 1000.0) / 1000.0},
                    {QStringLiteral("rmsAfter"), std::round(fit.rmsAfter * 1000.0) / 1000.0},
                    {QStringLiteral("levelAfter"), std::round(fit.levelAfter * 100.0) / 100.0},
                    {QStringLiteral("fit"), m_args.exactFit ? QStringLiteral("exact") : QStringLiteral("installer")},
                    {QStringLiteral("targetDescription"), Text(target.description)},
                    {QStringLiteral("requestedFromHz"), fromHz},
                    {QStringLiteral("rollOffHz"), fit.rollOffHz ? QJsonValue(std::round(*fit.rollOffHz)) : QJsonValue()},
                    {QStringLiteral("leftOut"), leftOut},
                    {QStringLiteral("maxBoostDb"), m_args.exactFit ? QJsonValue() : QJsonValue(fit.maxBoostDb)},
                    {QStringLiteral("referenceLevelBefore"), std::round(fit.referenceBefore * 100.0) / 100.0},
                    {QStringLiteral("referenceLevelAfter"), std::round(fit.referenceAfter * 100.0) / 100.0},
                    {QStringLiteral("outputLevelChangeDb"), std::round(fit.levelChangeDb * 100.0) / 100.0},
                    {QStringLiteral("outputLevelSet"), m_args.setLevel},
                    {QStringLiteral("tolerance"), Text(tolerance.Source())},
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
               .arg(fit.fromHz, 0, 'f', 0)
               .arg(toHz, 0, 'f', 0)
               .arg(m_args.measurements.size());
  m_out << QStringLiteral("target: %1\n").arg(Text(target.description));
  if (m_args.exactFit) {
    m_out << QStringLiteral("fit: exact (plain least squares on the raw average)\n");
  } else if (sub) {
    m_out << QStringLiteral("fit: installer (1/%1-octave smoothed average, narrow dips left out; the sections boost at most "
                            "+3 dB by their range)\n")
                 .arg(fit.smoothingFraction);
  } else {
    m_out << QStringLiteral("fit: installer (1/%1-octave smoothed average, narrow dips left out, boost at most %2 dB above "
                            "the equalizer's median)\n")
                 .arg(fit.smoothingFraction)
                 .arg(fit.maxBoostDb, 0, 'f', 1);
  }
  if (fit.rollOffHz) {
    m_out << QStringLiteral("roll-off: the average falls 6 dB below its 200 Hz-2 kHz mean under %1 Hz; the fit starts "
                            "there and boosts nothing below\n")
                 .arg(*fit.rollOffHz, 0, 'f', 0);
  }
  for (const FrequencySpan& span : fit.leftOut) {
    m_out << QStringLiteral("left out: a narrow dip from %1 Hz to %2 Hz (not filled by the equalizer)\n")
                 .arg(span.fromHz, 0, 'f', 0)
                 .arg(span.toHz, 0, 'f', 0);
  }
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
  m_out << QStringLiteral("reference level (mean of the 1/3-octave bands %1): %2 dB before, %3 dB predicted; "
                          "output-level change to keep it: %4 dB%5\n")
               .arg(sub ? QStringLiteral("in the fit range") : QStringLiteral("500 Hz-2 kHz"))
               .arg(fit.referenceBefore, 0, 'f', 1)
               .arg(fit.referenceAfter, 0, 'f', 1)
               .arg(Residual(fit.levelChangeDb))
               .arg(m_args.setLevel ? QStringLiteral(" (set: outputLevel %1)").arg(Text(FormatOutputLevelDb(fit.image.outputLevel(channel))))
                                    : QStringLiteral(" (not set; --set-level sets it)"));
  m_out << Text(tolerance.Source()) << '\n';
  if (m_args.apply) {
    m_out << QStringLiteral("sent %1 changed field(s) to %2, each acknowledged%3\n")
                 .arg(sent)
                 .arg(*unit, m_args.store ? QStringLiteral("; stored") : QString());
  }
  return CtlResult::Ok();
}

}  // namespace mzr::ctl
