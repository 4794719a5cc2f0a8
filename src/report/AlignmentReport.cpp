#include "report/AlignmentReport.h"

#include <algorithm>

#include <QBuffer>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cmath>

#include "align/AlignmentTarget.h"
#include "dsp/FilterDesign.h"
#include "dsp/ResponseEvaluation.h"
#include "dsp/ResponseGrid.h"
#include "model/ValueFormat.h"
#include "ui/equalizer/graph/EqualizerGraphPainter.h"

namespace mzr {
namespace {

constexpr double kGraphScale = 1.6;
constexpr int kMargin = 80;
const QColor kTargetColour(255, 255, 255);
const QColor kBeforeColour(255, 140, 0);
const QColor kAfterColour(0, 255, 0);  // the program's curve colour
const QColor kToleranceColour(90, 90, 200, 110);

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// One line of text at (x, baseline y), cut with an ellipsis where it would leave the page.
void Line(QPainter& painter, int x, int y, const QString& text) {
  const int width = AlignmentReport::kPageWidth - kMargin - x;
  painter.drawText(QPoint(x, y), painter.fontMetrics().elidedText(text, Qt::ElideRight, width));
}

QString FileNames(const QStringList& paths) {
  QStringList names;
  for (const QString& path : paths) names << QFileInfo(path).fileName();
  return names.join(QStringLiteral(", "));
}

QString ChannelName(int channel) {
  static const char* const names[] = {"Left", "Center", "Right", "Left Surround", "Right Surround", "Subwoofer"};
  return channel >= 0 && channel <= 5 ? QString::fromLatin1(names[channel]) : QStringLiteral("?");
}

QString SignedDb(double db) {
  if (!std::isfinite(db)) return QStringLiteral("\u2013");  // not measured there: a dash, never "nan"
  const double shown = std::abs(db) < 0.005 ? 0.0 : db;
  return (shown > 0 ? QStringLiteral("+") : QString()) + QString::number(shown, 'f', 2);
}

// A curve in dB as the graph plots it: point n at column 6 + 2n, 9.6 rows per dB from y0; a
// gap where the curve has no value.
void DrawGridCurve(QPainter& painter, const GridCurve& db, int y0, const QPen& pen) {
  painter.save();
  painter.setPen(pen);
  painter.setClipRect(QRect(3, 2, kGraphWidth - 6, kGraphHeight - 4));
  QPolygonF run;
  for (int n = 0; n < kGridPoints; ++n) {
    const double v = db[static_cast<std::size_t>(n)];
    if (!std::isfinite(v)) {
      if (run.size() > 1) painter.drawPolyline(run);
      run.clear();
      continue;
    }
    const CurvePoint p = MapCurvePoint(n, 0.0, v, y0);
    run << QPointF(p.column, std::clamp(p.y, -50.0, kGraphHeight + 50.0));
  }
  if (run.size() > 1) painter.drawPolyline(run);
  painter.restore();
}

void DrawTolerance(QPainter& painter, const GridCurve& target, int y0) {
  const ResponseGrid grid;
  QPolygonF upper, lower;
  for (int n = 0; n < kGridPoints; ++n) {
    const auto limits = ToleranceAt(grid.hz()[static_cast<std::size_t>(n)]);
    const double t = target[static_cast<std::size_t>(n)];
    if (!limits || !std::isfinite(t)) continue;
    upper << QPointF(MapCurvePoint(n, 0, t + limits->upper, y0).column, MapCurvePoint(n, 0, t + limits->upper, y0).y);
    lower.prepend(QPointF(MapCurvePoint(n, 0, t + limits->lower, y0).column, MapCurvePoint(n, 0, t + limits->lower, y0).y));
  }
  painter.save();
  painter.setClipRect(QRect(3, 2, kGraphWidth - 6, kGraphHeight - 4));
  painter.setPen(Qt::NoPen);
  painter.setBrush(kToleranceColour);
  painter.drawPolygon(upper + lower);
  painter.restore();
}

// The graph's frame and rulings with the alignment's curves on it.
QImage AlignmentGraph(const FitResult& fit) {
  EqualizerGraphPainter graphPainter;
  QImage image(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
  QPainter painter(&image);
  graphPainter.DrawBackground(painter);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const int y0 = ZeroLineRow(0);
  DrawTolerance(painter, fit.target, y0);
  DrawGridCurve(painter, fit.target, y0, QPen(kTargetColour, 1.2, Qt::DashLine));
  DrawGridCurve(painter, fit.before, y0, QPen(kBeforeColour, 1.6));
  DrawGridCurve(painter, fit.after, y0, QPen(kAfterColour, 2.0));
  painter.end();
  return image;
}

void DrawScaledGraph(QPainter& painter, const QImage& graph, const QPoint& at, const QString& caption, int zeroRow) {
  painter.save();
  painter.setFont(QFont(QStringLiteral("Sans"), 11, QFont::Bold));
  painter.setPen(Qt::black);
  painter.drawText(QPoint(at.x() - 40, at.y()), caption);
  const QRectF target(at.x(), at.y() + 12, graph.width() * kGraphScale, graph.height() * kGraphScale);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.drawImage(target, graph);
  // Labels of the graph's scale: 2.5 dB per dotted ruling.
  painter.setFont(QFont(QStringLiteral("Sans"), 8));
  painter.setPen(QColor(60, 60, 60));
  for (int k = -4; k <= 4; ++k) {
    const double y = target.top() + (zeroRow + 24.0 * k) * kGraphScale;
    painter.drawText(QRectF(target.left() - 52, y - 9, 46, 18), Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(-2.5 * k, 'f', 1));
  }
  // Frequencies under the curve's columns.
  for (const double hz : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
    const double n = std::log10(hz / kGridStartHz) * 100.0;
    const double x = target.left() + (6.0 + 2.0 * n) * kGraphScale;
    painter.drawText(QRectF(x - 30, target.bottom() + 2, 60, 18), Qt::AlignCenter,
                     hz >= 1000 ? QString::number(hz / 1000) + QStringLiteral("k") : QString::number(hz));
  }
  painter.restore();
}

void PaintPage(QPainter& painter, const AlignmentReportInput& input, const ReportChannel& rc) {
  const ParameterImage& image = rc.fit ? rc.fit->image : input.image;
  painter.fillRect(QRect(0, 0, AlignmentReport::kPageWidth, AlignmentReport::kPageHeight), Qt::white);
  painter.setPen(Qt::black);
  int y = kMargin;
  painter.setFont(QFont(QStringLiteral("Sans"), 18, QFont::Bold));
  painter.drawText(QPoint(kMargin, y), QStringLiteral("Room alignment: channel %1, %2").arg(rc.channel).arg(ChannelName(rc.channel)));
  y += 40;
  painter.setFont(QFont(QStringLiteral("Sans"), 10));
  const Mac mac = image.macAddress();
  Line(painter, kMargin, y, QStringLiteral("Hall: %1    Screen: %2    MAC: %3    Date: %4")
                                           .arg(QString::fromStdString(image.Text(TextField::theaterName)),
                                                QString::fromStdString(image.Text(TextField::screenNumber)),
                                                Text(FormatMac(mac)), input.date.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
  y += 26;
  if (rc.fit) {
    const FitResult& f = *rc.fit;
    Line(painter, kMargin, y, QStringLiteral("Target: %1").arg(rc.targetName));
    y += 22;
    Line(painter, kMargin, y, QStringLiteral("Fitted from %1 Hz to %2 Hz (%3)%4")
                                  .arg(f.fromHz, 0, 'f', 0)
                                  .arg(f.toHz, 0, 'f', 0)
                                  .arg(f.mode == FitMode::exact ? QStringLiteral("exact fit")
                                                                : QStringLiteral("installer's fit: 1/%1-octave smoothing, boost at most %2 dB above the median")
                                                                      .arg(f.smoothingFraction)
                                                                      .arg(f.maxBoostDb, 0, 'f', 1))
                                  .arg(f.rollOffHz ? QStringLiteral("; lower limit moved up to the roll-off at %1 Hz").arg(*f.rollOffHz, 0, 'f', 0) : QString()));
    y += 22;
    // Every position, wrapped over as many lines as it takes.
    const QRect positions(kMargin, y - 16, AlignmentReport::kPageWidth - 2 * kMargin, 200);
    const QString list = QStringLiteral("%1 measurement position(s): %2").arg(rc.measurements.size()).arg(FileNames(rc.measurements));
    const QRect used = painter.boundingRect(positions, Qt::TextWordWrap, list);
    painter.drawText(positions, Qt::TextWordWrap, list);
    y += used.height() + 6;
    QStringList leftOut;
    for (const FrequencySpan& span : f.leftOut) leftOut << QStringLiteral("%1-%2 Hz").arg(span.fromHz, 0, 'f', 0).arg(span.toHz, 0, 'f', 0);
    if (!leftOut.isEmpty()) {
      Line(painter, kMargin, y, QStringLiteral("Left out of the fit (narrow dips no equalizer fills): %1").arg(leftOut.join(QStringLiteral(", "))));
      y += 22;
    }
    Line(painter, kMargin, y, QStringLiteral("Reference level (1/3-octave bands %1): %2 dB before, %3 dB predicted; output-level change %4 dB")
                                  .arg(rc.channel == kSubwooferChannel ? QStringLiteral("in the fit range") : QStringLiteral("500 Hz-2 kHz"))
                                  .arg(f.referenceBefore, 0, 'f', 1)
                                  .arg(f.referenceAfter, 0, 'f', 1)
                                  .arg(SignedDb(f.levelChangeDb)));
    y += 22;
    Line(painter, kMargin, y, rc.tolerance.isEmpty() ? QString::fromStdString(BandFor(rc.channel, f.fromHz, f.toHz).Source()) : rc.tolerance);
    y += 22;
    // The verdict: every band in the fit range, not left out, inside the band.
    const ToleranceBand band = BandFor(rc.channel, f.fromHz, f.toHz);
    int judged = 0, outside = 0;
    for (const BandRow& b : f.bands) {
      const auto limits = band.At(b.hz);
      if (!b.inRange || b.leftOut || !limits || !std::isfinite(b.residualAfter)) continue;
      ++judged;
      if (b.residualAfter < limits->lower || b.residualAfter > limits->upper) ++outside;
    }
    painter.save();
    painter.setFont(QFont(QStringLiteral("Sans"), 12, QFont::Bold));
    painter.setPen(outside == 0 ? QColor(0, 120, 0) : QColor(180, 0, 0));
    Line(painter, kMargin, y, QStringLiteral("Verdict (predicted): %1, %2 of %3 bands inside the tolerance")
                                  .arg(outside == 0 ? QStringLiteral("PASS") : QStringLiteral("FAIL"))
                                  .arg(judged - outside)
                                  .arg(judged));
    painter.restore();
    y += 26;
    painter.setFont(QFont(QStringLiteral("Sans"), 10, QFont::Bold));
    Line(painter, kMargin, y, QStringLiteral("RMS deviation from the target, level removed: before %1 dB, after %2 dB (predicted)")
                                             .arg(f.rmsBefore, 0, 'f', 2)
                                             .arg(f.rmsAfter, 0, 'f', 2));
    y += 40;
    DrawScaledGraph(painter, AlignmentGraph(f), QPoint(kMargin + 40, y),
                    QStringLiteral("Target (dashed) and tolerance (shaded), before (orange), after (green, predicted), dB"),
                    ZeroLineRow(0));
    y += static_cast<int>(kGraphHeight * kGraphScale) + 75;
  } else {
    painter.drawText(QPoint(kMargin, y), QStringLiteral("Not measured in this session: the channel's settings as they are."));
    y += 40;
  }
  const QImage eq = EqualizerGraphPainter().RenderEqualizerGraph(image, rc.channel);
  DrawScaledGraph(painter, eq, QPoint(kMargin + 40, y), QStringLiteral("Equalizer as set, as the program draws it, dB"),
                  ZeroLineRow(rc.channel));
  y += static_cast<int>(kGraphHeight * kGraphScale) + 60;

  // The settings as a table: for the bands two blocks of rows side by side, each row the band,
  // the gain set and the deviation from the target at its centre before and after.
  painter.setFont(QFont(QStringLiteral("Sans"), 11, QFont::Bold));
  painter.drawText(QPoint(kMargin, y), QStringLiteral("Settings"));
  y += 30;
  painter.setFont(QFont(QStringLiteral("Sans"), 9));
  const int rowHeight = 24;
  const auto cell = [&](int x, int yy, int w, const QString& text, Qt::Alignment align) {
    painter.drawText(QRect(x, yy - rowHeight + 6, w, rowHeight), align | Qt::AlignVCenter, text);
  };
  if (rc.channel == kSubwooferChannel) {
    for (int k = 0; k < 2; ++k) {
      const SubPeq p = image.subPeq(k);
      Line(painter, kMargin, y, QStringLiteral("Section %1: %2 Hz, Q %3, gain %4").arg(k + 1).arg(p.freq).arg(Text(FormatQ(p.qIndex)), Text(FormatTenthsDb(p.gain))));
      y += rowHeight;
    }
    Line(painter, kMargin, y, QStringLiteral("Low-pass: %1, %2 (left as set)")
                                  .arg(Text(BassCornerLabel(image.subLpfFreq())))
                                  .arg(SlopeDbPerOctave(image.subLpfSlope()) ? QStringLiteral("%1 dB/oct").arg(*SlopeDbPerOctave(image.subLpfSlope())) : QStringLiteral("off")));
  } else {
    const int blockWidth = (AlignmentReport::kPageWidth - 2 * kMargin) / 2;
    const int rowsPerBlock = 14;
    for (int block = 0; block < 2; ++block) {
      const int x = kMargin + block * blockWidth;
      painter.save();
      painter.setFont(QFont(QStringLiteral("Sans"), 9, QFont::Bold));
      cell(x, y, 90, QStringLiteral("Band"), Qt::AlignLeft);
      cell(x + 90, y, 100, QStringLiteral("Gain"), Qt::AlignRight);
      if (rc.fit) {
        cell(x + 200, y, 110, QStringLiteral("Before, dB"), Qt::AlignRight);
        cell(x + 320, y, 110, QStringLiteral("After, dB"), Qt::AlignRight);
      }
      painter.restore();
    }
    for (int band = 0; band < kGeqBands; ++band) {
      const int x = kMargin + (band / rowsPerBlock) * blockWidth;
      const int yy = y + (band % rowsPerBlock + 1) * rowHeight;
      cell(x, yy, 90, Text(GeqBandLabel(band)), Qt::AlignLeft);
      cell(x + 90, yy, 100, Text(FormatTenthsDb(image.geqGain(rc.channel, band))), Qt::AlignRight);
      if (rc.fit) {
        const BandRow& b = rc.fit->bands[static_cast<std::size_t>(band)];
        cell(x + 200, yy, 110, SignedDb(b.residualBefore), Qt::AlignRight);
        cell(x + 320, yy, 110, SignedDb(b.residualAfter), Qt::AlignRight);
      }
    }
    y += (rowsPerBlock + 2) * rowHeight;
    const ToneControl tone = image.toneControl(rc.channel);
    Line(painter, kMargin, y, QStringLiteral("Bass shelf %1 at %2;  treble shelf %3 at %4 (0.0dB: off)")
                                  .arg(Text(FormatTenthsDb(tone.bassGain)), Text(BassCornerLabel(tone.bassFreq)),
                                       Text(FormatTenthsDb(tone.trebleGain)), Text(TrebleCornerLabel(tone.trebleFreq))));
  }
  painter.setFont(QFont(QStringLiteral("Sans"), 9));
  const ReportSignature& sign = input.signature;
  Line(painter, kMargin, AlignmentReport::kPageHeight - kMargin / 2 - 44,
       QStringLiteral("Installer: %1    Room: %2    Microphone: %3    Signature: ____________________")
           .arg(sign.installer.isEmpty() ? QStringLiteral("________________") : sign.installer,
                sign.room.isEmpty() ? QStringLiteral("________") : sign.room,
                sign.microphone.isEmpty() ? QStringLiteral("________________") : sign.microphone));
  Line(painter, kMargin, AlignmentReport::kPageHeight - kMargin / 2 - 22,
       QStringLiteral("Notes: %1").arg(sign.notes.isEmpty() ? QStringLiteral("\u2013") : sign.notes));
  painter.setFont(QFont(QStringLiteral("Sans"), 8));
  Line(painter, kMargin, AlignmentReport::kPageHeight - kMargin / 2,
       QStringLiteral("mzr4700ctl %1. Predicted: the measured average with the equalizer as the unit applies it. "
                      "Measure again to confirm.")
           .arg(QStringLiteral(MZR_VERSION_TEXT)));
}

}  // namespace

AlignmentReportInput AlignmentReport::ForUnit(const ParameterImage& image, const std::vector<ReportChannel>& fitted,
                                              const QDateTime& date) {
  AlignmentReportInput input;
  input.image = image;
  input.date = date;
  for (int channel = 0; channel <= kSubwooferChannel; ++channel) {
    const auto found = std::find_if(fitted.begin(), fitted.end(), [channel](const ReportChannel& c) { return c.channel == channel; });
    if (found != fitted.end()) {
      input.channels.push_back(*found);
    } else {
      ReportChannel settingsOnly;
      settingsOnly.channel = channel;
      input.channels.push_back(settingsOnly);
    }
  }
  return input;
}

QImage AlignmentReport::RenderPage(const AlignmentReportInput& input, const ReportChannel& channel) {
  QImage page(kPageWidth, kPageHeight, QImage::Format_RGB32);
  page.setDotsPerMeterX(5906);  // 150 dpi
  page.setDotsPerMeterY(5906);
  QPainter painter(&page);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  PaintPage(painter, input, channel);
  painter.end();
  return page;
}

std::variant<QByteArray, QString> AlignmentReport::Render(const QString& path, const AlignmentReportInput& input) {
  if (input.channels.empty()) return QStringLiteral("nothing to report");
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (path.toLower().endsWith(QLatin1String(".png"))) {
    QImage all(kPageWidth, kPageHeight * static_cast<int>(input.channels.size()), QImage::Format_RGB32);
    all.setDotsPerMeterX(5906);
    all.setDotsPerMeterY(5906);
    QPainter painter(&all);
    for (std::size_t i = 0; i < input.channels.size(); ++i) {
      painter.drawImage(QPoint(0, kPageHeight * static_cast<int>(i)), RenderPage(input, input.channels[i]));
    }
    painter.end();
    if (!all.save(&buffer, "PNG")) return QStringLiteral("cannot make the PNG");
  } else {
    QPdfWriter pdf(&buffer);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(150);
    pdf.setTitle(QStringLiteral("Room alignment report"));
    pdf.setCreator(QStringLiteral("mzr4700ctl"));
    QPainter painter;
    if (!painter.begin(&pdf)) return QStringLiteral("cannot start the PDF");
    for (std::size_t i = 0; i < input.channels.size(); ++i) {
      if (i > 0) pdf.newPage();
      PaintPage(painter, input, input.channels[i]);
    }
    painter.end();
  }
  buffer.close();
  return bytes;
}

std::optional<QString> AlignmentReport::Write(const QString& path, const AlignmentReportInput& input) {
  auto rendered = Render(path, input);
  if (const auto* error = std::get_if<QString>(&rendered)) return *error;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  if (file.write(std::get<QByteArray>(rendered)) < 0) return file.errorString();
  if (!file.commit()) return file.errorString();
  return std::nullopt;
}

}  // namespace mzr
