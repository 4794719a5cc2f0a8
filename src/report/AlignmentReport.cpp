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
#include <limits>

#include "align/AlignmentTarget.h"
#include "dsp/FilterDesign.h"
#include "dsp/ResponseEvaluation.h"
#include "dsp/ResponseGrid.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

constexpr int kMargin = 80;
const QColor kBeforeColour(255, 140, 0);
const QColor kToleranceColour(90, 90, 200, 110);

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// One line of text at (x, baseline y), cut with an ellipsis where it would leave the page.
void Line(QPainter& painter, int x, int y, const QString& text) {
  const int width = AlignmentReport::kPageWidth - kMargin - x;
  painter.drawText(QPoint(x, y), painter.fontMetrics().elidedText(text, Qt::ElideRight, width));
}

// Text wrapped over as many lines as it takes from baseline y; gives the next baseline.
int Wrapped(QPainter& painter, int x, int y, const QString& text) {
  const QRect room(x, y - painter.fontMetrics().ascent(), AlignmentReport::kPageWidth - kMargin - x, 400);
  const QRect used = painter.boundingRect(room, Qt::TextWordWrap, text);
  painter.drawText(room, Qt::TextWordWrap, text);
  return y + used.height() + 4;
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

struct PlotCurve {
  const GridCurve* db;
  QPen pen;
};

struct PlotSpec {
  double loHz = 20.0;
  double hiHz = 20000.0;
  std::optional<FrequencySpan> fitRange;  // shaded outside
  std::vector<FrequencySpan> leftOut;     // hatched
  const GridCurve* target = nullptr;      // the tolerance band is drawn around it
  std::optional<ToleranceBand> band;
};

// The frequencies labelled on an axis from lo to hi Hz.
std::vector<double> AxisLabels(double lo, double hi) {
  std::vector<double> out;
  const double all[] = {20, 30, 40, 50, 60, 80, 100, 150, 200, 300, 500, 1000, 2000, 5000, 10000, 20000};
  const bool narrow = hi / lo < 20.0;
  for (double hz : all) {
    if (hz < lo / 1.001 || hz > hi * 1.001) continue;
    if (!narrow && (hz == 30 || hz == 40 || hz == 60 || hz == 80 || hz == 150 || hz == 300)) continue;
    out.push_back(hz);
  }
  return out;
}

// A plot scaled to its data: the dB axis spans every curve's values between lo and hi Hz,
// rounded out to 5 dB, so nothing is clipped; its labels stay left of the frame and the
// frequencies under it, inside frame's margins.
void DrawPlot(QPainter& painter, const QRect& frame, const QString& caption, const std::vector<PlotCurve>& curves,
              const PlotSpec& plot) {
  const ResponseGrid grid;
  double top = -std::numeric_limits<double>::infinity(), bottom = std::numeric_limits<double>::infinity();
  const auto consider = [&](double v) {
    if (!std::isfinite(v)) return;
    top = std::max(top, v);
    bottom = std::min(bottom, v);
  };
  for (int n = 0; n < kGridPoints; ++n) {
    const double hz = grid.hz()[static_cast<std::size_t>(n)];
    if (hz < plot.loHz || hz > plot.hiHz) continue;
    for (const PlotCurve& c : curves) consider((*c.db)[static_cast<std::size_t>(n)]);
    if (plot.target && plot.band) {
      if (const auto limits = plot.band->At(hz)) {
        consider((*plot.target)[static_cast<std::size_t>(n)] + limits->upper);
        consider((*plot.target)[static_cast<std::size_t>(n)] + limits->lower);
      }
    }
  }
  if (!std::isfinite(top)) top = 5.0, bottom = -5.0;
  top = std::ceil((top + 0.5) / 5.0) * 5.0;
  bottom = std::floor((bottom - 0.5) / 5.0) * 5.0;
  if (top - bottom < 20.0) {
    const double middle = std::round((top + bottom) / 10.0) * 5.0;
    top = middle + 10.0;
    bottom = middle - 10.0;
  }
  const double step = top - bottom > 45.0 ? 10.0 : 5.0;
  painter.save();
  painter.setFont(QFont(QStringLiteral("Sans"), 8, QFont::DemiBold));
  painter.setPen(Qt::black);
  painter.drawText(QRect(frame.left() - 50, frame.top() - 26, AlignmentReport::kPageWidth - frame.left() + 40, 22), Qt::AlignLeft | Qt::AlignVCenter, caption);
  const auto x = [&](double hz) { return frame.left() + frame.width() * std::log(hz / plot.loHz) / std::log(plot.hiHz / plot.loHz); };
  const auto y = [&](double db) { return frame.top() + frame.height() * (top - db) / (top - bottom); };
  painter.fillRect(frame, Qt::white);
  // Outside the fit range: grey; the left-out dips: hatched.
  if (plot.fitRange) {
    const QColor grey(225, 225, 225);
    painter.fillRect(QRectF(QPointF(frame.left(), frame.top()), QPointF(std::max<double>(frame.left(), x(plot.fitRange->fromHz)), frame.bottom())), grey);
    painter.fillRect(QRectF(QPointF(std::min<double>(frame.right(), x(plot.fitRange->toHz)), frame.top()), QPointF(frame.right(), frame.bottom())), grey);
  }
  for (const FrequencySpan& span : plot.leftOut) {
    painter.fillRect(QRectF(QPointF(x(span.fromHz), frame.top()), QPointF(x(span.toHz), frame.bottom())),
                     QBrush(QColor(220, 60, 60, 140), Qt::BDiagPattern));
  }
  painter.setFont(QFont(QStringLiteral("Sans"), 8));
  for (double db = bottom; db <= top + 1e-9; db += step) {
    painter.setPen(QPen(QColor(200, 200, 200), 1, db == 0.0 ? Qt::SolidLine : Qt::DotLine));
    painter.drawLine(QPointF(frame.left(), y(db)), QPointF(frame.right(), y(db)));
    painter.setPen(QColor(60, 60, 60));
    painter.drawText(QRectF(frame.left() - 50, y(db) - 8, 44, 16), Qt::AlignRight | Qt::AlignVCenter, QString::number(db));
  }
  for (double hz : AxisLabels(plot.loHz, plot.hiHz)) {
    painter.setPen(QPen(QColor(200, 200, 200), 1, Qt::DotLine));
    painter.drawLine(QPointF(x(hz), frame.top()), QPointF(x(hz), frame.bottom()));
    painter.setPen(QColor(60, 60, 60));
    const Qt::Alignment align = hz <= plot.loHz * 1.001 ? Qt::AlignLeft : hz >= plot.hiHz / 1.001 ? Qt::AlignRight : Qt::AlignHCenter;
    const double left = align == Qt::AlignLeft ? x(hz) : align == Qt::AlignRight ? x(hz) - 50 : x(hz) - 25;
    painter.drawText(QRectF(left, frame.bottom() + 3, 50, 16), align | Qt::AlignVCenter,
                     hz >= 1000 ? QString::number(hz / 1000) + QStringLiteral("k") : QString::number(hz));
  }
  painter.setClipRect(frame);
  painter.setRenderHint(QPainter::Antialiasing, true);
  if (plot.target && plot.band) {
    QPolygonF upper, lower;
    for (int n = 0; n < kGridPoints; ++n) {
      const double hz = grid.hz()[static_cast<std::size_t>(n)];
      const auto limits = plot.band->At(hz);
      const double t = (*plot.target)[static_cast<std::size_t>(n)];
      if (!limits || !std::isfinite(t) || hz < plot.loHz || hz > plot.hiHz) continue;
      upper << QPointF(x(hz), y(t + limits->upper));
      lower.prepend(QPointF(x(hz), y(t + limits->lower)));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(kToleranceColour);
    painter.drawPolygon(upper + lower);
  }
  for (const PlotCurve& c : curves) {
    painter.setPen(c.pen);
    QPolygonF run;
    for (int n = 0; n < kGridPoints; ++n) {
      const double hz = grid.hz()[static_cast<std::size_t>(n)];
      const double v = (*c.db)[static_cast<std::size_t>(n)];
      if (!std::isfinite(v) || hz < plot.loHz / 1.03 || hz > plot.hiHz * 1.03) {
        if (run.size() > 1) painter.drawPolyline(run);
        run.clear();
        continue;
      }
      run << QPointF(x(hz), y(v));
    }
    if (run.size() > 1) painter.drawPolyline(run);
  }
  painter.setClipping(false);
  painter.setPen(QPen(QColor(90, 90, 90), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(frame);
  painter.restore();
}

void PaintPage(QPainter& painter, const AlignmentReportInput& input, const ReportChannel& rc) {
  const ParameterImage& image = rc.fit ? rc.fit->image : input.image;
  const bool sub = rc.channel == kSubwooferChannel;
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
    y = Wrapped(painter, kMargin, y, QStringLiteral("Fitted from %1 Hz to %2 Hz (%3)%4")
                                  .arg(f.fromHz, 0, 'f', 0)
                                  .arg(f.toHz, 0, 'f', 0)
                                  .arg(f.mode == FitMode::exact ? QStringLiteral("exact fit")
                                       : sub ? QStringLiteral("installer's fit: 1/%1-octave smoothing, narrow dips left out, the sections' boost "
                                                              "at most +3 dB by their range").arg(f.smoothingFraction)
                                             : QStringLiteral("installer's fit: 1/%1-octave smoothing, boost at most %2 dB above the median")
                                                   .arg(f.smoothingFraction)
                                                   .arg(f.maxBoostDb, 0, 'f', 1))
                                  .arg(f.rollOffHz ? QStringLiteral("; lower limit moved up to the roll-off at %1 Hz, no boost below it").arg(*f.rollOffHz, 0, 'f', 0) : QString()));
    // Every position, wrapped over as many lines as it takes.
    y = Wrapped(painter, kMargin, y, QStringLiteral("%1 measurement position(s): %2").arg(rc.measurements.size()).arg(FileNames(rc.measurements)));
    QStringList leftOut;
    for (const FrequencySpan& span : f.leftOut) leftOut << QStringLiteral("%1-%2 Hz").arg(span.fromHz, 0, 'f', 0).arg(span.toHz, 0, 'f', 0);
    if (!leftOut.isEmpty()) {
      y = Wrapped(painter, kMargin, y, QStringLiteral("Left out of the fit (narrow dips no equalizer fills): %1").arg(leftOut.join(QStringLiteral(", "))));
    }
    y = Wrapped(painter, kMargin, y, QStringLiteral("Reference level (1/3-octave bands %1): %2 dB before, %3 dB predicted; output-level change to keep it: %4 dB")
                                  .arg(rc.channel == kSubwooferChannel ? QStringLiteral("in the fit range") : QStringLiteral("500 Hz-2 kHz"))
                                  .arg(f.referenceBefore, 0, 'f', 1)
                                  .arg(f.referenceAfter, 0, 'f', 1)
                                  .arg(SignedDb(f.levelChangeDb)));
    y = Wrapped(painter, kMargin, y, rc.tolerance.isEmpty() ? QString::fromStdString(BandFor(rc.channel, f.fromHz, f.toHz).Source()) : rc.tolerance);
    y += 6;
    // The verdict: every 1/3-octave band in the fit range and not left out, inside the band.
    const ToleranceBand band = BandFor(rc.channel, f.fromHz, f.toHz);
    int judged = 0, outside = 0;
    for (const auto hz : kGeqBandHz) {
      const auto limits = band.At(hz);
      const double r = CurveAt(f.after, hz) - CurveAt(f.target, hz);
      const bool inLeftOut = std::any_of(f.leftOut.begin(), f.leftOut.end(), [hz](const FrequencySpan& s) { return hz >= s.fromHz && hz <= s.toHz; });
      if (hz < f.fromHz / 1.0116 || hz > f.toHz * 1.0116 || inLeftOut || !limits || !std::isfinite(r)) continue;
      ++judged;
      if (r < limits->lower || r > limits->upper) ++outside;
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
    y += 46;
    PlotSpec plot;
    plot.loHz = 20.0;
    plot.hiHz = sub ? 200.0 : 20000.0;
    plot.fitRange = FrequencySpan{f.fromHz, f.toHz};
    plot.leftOut = f.leftOut;
    plot.target = &f.target;
    plot.band = BandFor(rc.channel, f.fromHz, f.toHz);
    DrawPlot(painter, QRect(kMargin + 50, y, AlignmentReport::kPageWidth - 2 * kMargin - 50, 380),
             QStringLiteral("dB: target dashed, tolerance blue, measured grey, before orange, after green; "
                            "shaded: not fitted, hatched: left out"),
             {{&f.measured, QPen(QColor(150, 150, 150), 1.0)},
              {&f.target, QPen(Qt::black, 1.4, Qt::DashLine)},
              {&f.before, QPen(kBeforeColour, 1.8)},
              {&f.after, QPen(QColor(0, 150, 0), 2.2)}},
             plot);
    y += 380 + 56;
  } else {
    painter.drawText(QPoint(kMargin, y), QStringLiteral("Not measured in this session: the channel's settings as they are."));
    y += 46;
  }
  const GridCurve eqCurve = rc.fit ? rc.fit->equalizer : ChannelResponse(image, rc.channel);
  PlotSpec eqSpec;
  eqSpec.loHz = 20.0;
  eqSpec.hiHz = sub ? 200.0 : 20000.0;
  if (rc.fit) {
    eqSpec.fitRange = FrequencySpan{rc.fit->fromHz, rc.fit->toHz};
    eqSpec.leftOut = rc.fit->leftOut;
  }
  DrawPlot(painter, QRect(kMargin + 50, y, AlignmentReport::kPageWidth - 2 * kMargin - 50, 240),
           QStringLiteral("Equalizer's own combined response as set, dB"), {{&eqCurve, QPen(QColor(0, 90, 200), 2.0)}}, eqSpec);
  y += 240 + 50;

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
      cell(x + 70, y, 80, QStringLiteral("Gain"), Qt::AlignRight);
      if (rc.fit) {
        cell(x + 150, y, 95, QStringLiteral("Before"), Qt::AlignRight);
        cell(x + 245, y, 95, QStringLiteral("After"), Qt::AlignRight);
        cell(x + 345, y, 110, QStringLiteral("Tolerance"), Qt::AlignRight);
      }
      painter.restore();
    }
    for (int band = 0; band < kGeqBands; ++band) {
      const int x = kMargin + (band / rowsPerBlock) * blockWidth;
      const int yy = y + (band % rowsPerBlock + 1) * rowHeight;
      cell(x, yy, 90, Text(GeqBandLabel(band)), Qt::AlignLeft);
      cell(x + 70, yy, 80, Text(FormatTenthsDb(image.geqGain(rc.channel, band))), Qt::AlignRight);
      if (rc.fit) {
        const BandRow& b = rc.fit->bands[static_cast<std::size_t>(band)];
        cell(x + 150, yy, 95, SignedDb(b.residualBefore), Qt::AlignRight);
        cell(x + 245, yy, 95, SignedDb(b.residualAfter), Qt::AlignRight);
        const auto limits = BandFor(rc.channel, rc.fit->fromHz, rc.fit->toHz).At(b.hz);
        const bool judged = b.inRange && !b.leftOut && limits && std::isfinite(b.residualAfter);
        const bool inside = judged && b.residualAfter >= limits->lower && b.residualAfter <= limits->upper;
        painter.save();
        if (judged && !inside) painter.setPen(QColor(180, 0, 0));
        cell(x + 345, yy, 110, b.leftOut ? QStringLiteral("left out") : !judged ? QStringLiteral("\u2013") : inside ? QStringLiteral("in") : QStringLiteral("OUT"),
             Qt::AlignRight);
        painter.restore();
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
  Line(painter, kMargin, AlignmentReport::kPageHeight - kMargin / 2 - 66,
       QStringLiteral("Installer: %1    Room: %2")
           .arg(sign.installer.isEmpty() ? QStringLiteral("________________") : sign.installer,
                sign.room.isEmpty() ? QStringLiteral("________") : sign.room));
  Line(painter, kMargin, AlignmentReport::kPageHeight - kMargin / 2 - 44,
       QStringLiteral("Microphone: %1    Signature: ______________________")
           .arg(sign.microphone.isEmpty() ? QStringLiteral("________________") : sign.microphone));
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
