#include "ui/dialogs/AlignmentDialog.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "align/AlignedEdits.h"
#include "align/MeasurementAverage.h"
#include "core/AppState.h"
#include "dsp/FilterDesign.h"
#include "dsp/ResponseGrid.h"
#include "link/EditOperation.h"
#include "workspace/EditIntents.h"
#include "report/AlignmentReport.h"
#include "ui/CaptionTable.h"
#include "ui/dialogs/DialogPlacement.h"
#include "ui/UiContext.h"
#include "workspace/EditHistory.h"
#include "workspace/Workspace.h"

namespace mzr {

namespace {

constexpr int kTitleRow = 152;
constexpr int kAddRow = 153;
constexpr int kClearRow = 154;
constexpr int kTargetRow = 155;
constexpr int kXCurveRow = 156;
constexpr int kSmallRoomRow = 157;
constexpr int kFlatRow = 158;
constexpr int kApplyRow = 159;
constexpr int kReportRow = 160;
constexpr int kCloseRow = 161;
constexpr int kBandHeadRow = 162;  // then measured, gain, predicted, tolerance
constexpr int kInRow = 167;
constexpr int kOutRow = 168;
constexpr int kHintRow = 169;
constexpr int kFiguresRow = 170;
constexpr int kAppliedRow = 171;
constexpr int kReportWrittenRow = 172;
constexpr int kReportFailedRow = 173;
constexpr int kLegendRow = 174;  // positions, average, target and tolerance, predicted
constexpr int kMonitorRow = 178;
constexpr int kMonitorTab = 6;
constexpr int kColumns = 5;

// The channel names of the tabs (the subwoofer's row follows the two unused ones).
constexpr int kChannelNameRows[] = {51, 52, 53, 54, 55, 58};

QString Db(double db, int decimals = 1) {
  if (!std::isfinite(db)) return QStringLiteral("\u2013");
  const double shown = std::abs(db) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : db;
  return (shown > 0 ? QStringLiteral("+") : QString()) + QString::number(shown, 'f', decimals);
}

QString BandName(double hz) {
  return hz >= 1000.0 ? QString::number(hz / 1000.0, 'g', 3) + QStringLiteral("kHz")
                      : QString::number(hz, 'g', 3) + QStringLiteral("Hz");
}

std::filesystem::path PathOf(const QString& path) { return std::filesystem::path(QFile::encodeName(path).toStdString()); }

}  // namespace

// The curves on a log-frequency axis from 20 Hz to 20 kHz and 48 pixels per 5 dB, as the
// equalizer's graph draws: 0 dB is the target's level.
class AlignmentGraph final : public QWidget {
 public:
  explicit AlignmentGraph(QWidget* parent) : QWidget(parent) {
    setMinimumSize(640, kPlotHeight + 2 * kMargin + 6);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  }

  struct Curves {
    std::vector<GridCurve> positions;  // moved by the same offset as the average
    std::optional<GridCurve> average, target, predicted, equalizer;
    double fromHz = 40.0, toHz = 16000.0;
    std::vector<FrequencySpan> leftOut;
    std::optional<ToleranceBand> band;
  };
  void Show(Curves curves, QStringList legend) {
    m_curves = std::move(curves);
    m_legend = std::move(legend);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(0x1c, 0x22, 0x2a));
    const QRect plot(kMargin + 16, kMargin, width() - 2 * kMargin - 16, kPlotHeight);
    const auto x = [&](double hz) { return plot.left() + plot.width() * std::log10(hz / 20.0) / 3.0; };
    const auto y = [&](double db) { return plot.top() + (kTopDb - db) * kPixelsPerDb; };
    // Grid: every 5 dB, the decades and their halves.
    p.setPen(QColor(0x3a, 0x44, 0x50));
    p.setFont(QFont(font().family(), 8));
    for (int db = kTopDb; db >= kTopDb - kSpanDb; db -= 5) {
      p.drawLine(QPointF(plot.left(), y(db)), QPointF(plot.right(), y(db)));
      p.drawText(QRectF(0, y(db) - 7, plot.left() - 3, 14), Qt::AlignRight | Qt::AlignVCenter, QString::number(db));
    }
    for (double hz : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
      p.drawLine(QPointF(x(hz), plot.top()), QPointF(x(hz), plot.bottom()));
      // The end labels stay inside the plot's width, clear of the dB labels.
      const Qt::Alignment align = hz <= 20.0 ? Qt::AlignLeft : hz >= 20000.0 ? Qt::AlignRight : Qt::AlignHCenter;
      const double left = hz <= 20.0 ? x(hz) : hz >= 20000.0 ? x(hz) - 40 : x(hz) - 20;
      p.drawText(QRectF(left, plot.bottom() + 2, 40, 14), align | Qt::AlignVCenter,
                 hz >= 1000 ? QString::number(hz / 1000) + QLatin1Char('k') : QString::number(hz));
    }
    p.setClipRect(plot);
    const ResponseGrid grid;
    const auto path = [&](const GridCurve& curve, double shift = 0.0) {
      QPainterPath line;
      bool drawing = false;
      for (int i = 0; i < kGridPoints; ++i) {
        const double v = curve[static_cast<std::size_t>(i)];
        if (!std::isfinite(v)) {
          drawing = false;
          continue;
        }
        const QPointF point(x(grid.hz()[static_cast<std::size_t>(i)]), y(v + shift));
        drawing ? line.lineTo(point) : line.moveTo(point);
        drawing = true;
      }
      return line;
    };
    // The tolerance band around the target, where the standard gives one.
    if (m_curves.target) {
      QPainterPath upper;
      QPainterPath lower;
      bool any = false;
      for (int i = 0; i < kGridPoints; ++i) {
        const double hz = grid.hz()[static_cast<std::size_t>(i)];
        const auto limits = m_curves.band ? m_curves.band->At(hz) : ToleranceAt(hz);
        const double t = (*m_curves.target)[static_cast<std::size_t>(i)];
        if (!limits || !std::isfinite(t)) continue;
        const QPointF up(x(hz), y(t + limits->upper));
        const QPointF down(x(hz), y(t + limits->lower));
        any ? upper.lineTo(up) : upper.moveTo(up);
        any ? lower.lineTo(down) : lower.moveTo(down);
        any = true;
      }
      if (any) {
        QPainterPath band = upper;
        band.connectPath(lower.toReversed());
        band.closeSubpath();
        p.fillPath(band, QColor(0x4c, 0xaf, 0x50, 60));
      }
      p.setPen(QPen(QColor(0x66, 0xcc, 0x6a), 2));
      p.drawPath(path(*m_curves.target));
    }
    p.setPen(QPen(QColor(0xb0, 0xb8, 0xc4, 70), 1));
    for (const GridCurve& position : m_curves.positions) p.drawPath(path(position));
    if (m_curves.average) {
      p.setPen(QPen(QColor(0xff, 0xa0, 0x30), 2));
      p.drawPath(path(*m_curves.average));
    }
    if (m_curves.predicted) {
      p.setPen(QPen(QColor(0x5c, 0xc8, 0xff), 2));
      p.drawPath(path(*m_curves.predicted));
    }
    // The equalizer's own response, so a boost shows as what it is, not as a filled dip.
    if (m_curves.equalizer) {
      p.setPen(QPen(QColor(0xe0, 0x70, 0xe0), 1.5, Qt::DashDotLine));
      p.drawPath(path(*m_curves.equalizer));
    }
    // The dips left out of the fit: hatched.
    for (const FrequencySpan& span : m_curves.leftOut) {
      p.fillRect(QRectF(QPointF(x(span.fromHz), plot.top()), QPointF(x(span.toHz), plot.bottom())),
                 QBrush(QColor(0xff, 0x60, 0x50, 160), Qt::BDiagPattern));
    }
    // The fit range's edges.
    p.setPen(QPen(QColor(0x80, 0x88, 0x94), 1, Qt::DashLine));
    p.drawLine(QPointF(x(m_curves.fromHz), plot.top()), QPointF(x(m_curves.fromHz), plot.bottom()));
    p.drawLine(QPointF(x(m_curves.toHz), plot.top()), QPointF(x(m_curves.toHz), plot.bottom()));
    p.setClipping(false);
    // Legend.
    const QColor colours[] = {QColor(0xb0, 0xb8, 0xc4), QColor(0xff, 0xa0, 0x30), QColor(0x66, 0xcc, 0x6a),
                              QColor(0x5c, 0xc8, 0xff), QColor(0xe0, 0x70, 0xe0), QColor(0xff, 0x60, 0x50)};
    int lx = plot.left() + 8;
    for (int i = 0; i < m_legend.size() && i < 6; ++i) {
      p.setPen(QPen(colours[i], 2));
      p.drawLine(lx, plot.top() + 10, lx + 16, plot.top() + 10);
      p.setPen(QColor(0xe0, 0xe4, 0xea));
      const int w = p.fontMetrics().horizontalAdvance(m_legend[i]);
      p.drawText(lx + 20, plot.top() + 14, m_legend[i]);
      lx += 36 + w;
    }
  }

 private:
  static constexpr int kMargin = 14;
  static constexpr double kPixelsPerDb = 48.0 / 5.0;
  static constexpr int kTopDb = 10;
  static constexpr int kSpanDb = 30;
  static constexpr int kPlotHeight = static_cast<int>(kSpanDb * kPixelsPerDb);
  Curves m_curves;
  QStringList m_legend;
};

AlignmentDialog::AlignmentDialog(UiContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
  setObjectName(QStringLiteral("AlignmentDialog"));
  setAcceptDrops(true);
  m_openPaths = [this] {
    return QFileDialog::getOpenFileNames(this, Caption(m_context.state, kAddRow), QString(),
                                         QStringLiteral("*.txt *.frd *.csv *.TXT *.FRD *.CSV;;*"));
  };
  m_savePath = [this] {
    return QFileDialog::getSaveFileName(this, Caption(m_context.state, kReportRow), QString(),
                                        QStringLiteral("PDF (*.pdf);;PNG (*.png)"));
  };

  m_add = new QPushButton(this);
  m_add->setObjectName(QStringLiteral("alignAddButton"));
  m_clear = new QPushButton(this);
  m_clear->setObjectName(QStringLiteral("alignClearButton"));
  m_targetLabel = new QLabel(this);
  m_target = new QComboBox(this);
  m_target->setObjectName(QStringLiteral("alignTargetBox"));
  m_target->addItems({QString(), QString(), QString()});  // x-curve, small room, flat
  m_targetLabel->setBuddy(m_target);
  m_seatsLabel = new QLabel(this);
  m_seats = new QSpinBox(this);
  m_seats->setObjectName(QStringLiteral("alignSeatsBox"));
  m_seats->setRange(30, 3000);
  m_seats->setValue(500);
  m_seatsLabel->setBuddy(m_seats);
  m_boostLabel = new QLabel(this);
  m_maxBoost = new QDoubleSpinBox(this);
  m_maxBoost->setObjectName(QStringLiteral("alignBoostBox"));
  m_maxBoost->setRange(0.0, 12.0);
  m_maxBoost->setSingleStep(0.5);
  m_maxBoost->setDecimals(1);
  m_maxBoost->setValue(3.0);
  m_boostLabel->setBuddy(m_maxBoost);
  m_rangeLabel = new QLabel(this);
  m_from = new QSpinBox(this);
  m_from->setObjectName(QStringLiteral("alignFromBox"));
  m_to = new QSpinBox(this);
  m_to->setObjectName(QStringLiteral("alignToBox"));
  for (QSpinBox* box : {m_from, m_to}) {
    box->setRange(20, 20000);
    box->setSuffix(QStringLiteral(" Hz"));
  }
  m_from->setValue(40);
  m_to->setValue(16000);
  m_rangeLabel->setBuddy(m_from);
  m_signLabel = new QLabel(this);
  m_installer = new QLineEdit(this);
  m_installer->setObjectName(QStringLiteral("alignInstaller"));
  m_mic = new QLineEdit(this);
  m_mic->setObjectName(QStringLiteral("alignMic"));
  m_notes = new QLineEdit(this);
  m_notes->setObjectName(QStringLiteral("alignNotes"));
  m_hint = new QLabel(this);
  m_hint->setObjectName(QStringLiteral("alignHint"));
  m_hint->setWordWrap(true);
  m_graph = new AlignmentGraph(this);
  m_graph->setObjectName(QStringLiteral("alignGraph"));
  m_table = new QTableWidget(0, kColumns, this);
  m_table->setObjectName(QStringLiteral("alignTable"));
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->verticalHeader()->hide();
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  m_statusLabel = new QLabel(this);
  m_statusLabel->setObjectName(QStringLiteral("alignStatus"));
  m_statusLabel->setWordWrap(true);
  m_statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_apply = new QPushButton(this);
  m_apply->setObjectName(QStringLiteral("alignApplyButton"));
  m_report = new QPushButton(this);
  m_report->setObjectName(QStringLiteral("alignReportButton"));
  m_close = new QPushButton(this);
  m_close->setObjectName(QStringLiteral("alignCloseButton"));

  auto* top = new QHBoxLayout;
  top->addWidget(m_add);
  top->addWidget(m_clear);
  top->addStretch(1);
  top->addWidget(m_targetLabel);
  top->addWidget(m_target);
  top->addWidget(m_seatsLabel);
  top->addWidget(m_seats);
  auto* rules = new QHBoxLayout;
  rules->addWidget(m_boostLabel);
  rules->addWidget(m_maxBoost);
  rules->addSpacing(12);
  rules->addWidget(m_rangeLabel);
  rules->addWidget(m_from);
  rules->addWidget(m_to);
  rules->addStretch(1);
  auto* sign = new QHBoxLayout;
  sign->addWidget(m_signLabel);
  sign->addWidget(m_installer, 2);
  sign->addWidget(m_mic, 2);
  sign->addWidget(m_notes, 3);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(m_statusLabel, 1);
  bottom->addWidget(m_apply);
  bottom->addWidget(m_report);
  bottom->addWidget(m_close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(rules);
  layout->addWidget(m_hint);
  layout->addWidget(m_graph);
  layout->addWidget(m_table, 1);
  layout->addLayout(sign);
  layout->addLayout(bottom);
  resize(860, 720);

  connect(m_add, &QPushButton::clicked, this, [this] { AddFiles(m_openPaths()); });
  connect(m_clear, &QPushButton::clicked, this, &AlignmentDialog::ClearMeasurements);
  connect(m_target, &QComboBox::currentIndexChanged, this, [this] {
    m_seats->setEnabled(ChosenTarget() == TargetKind::xCurve);
    Refit();
  });
  connect(m_seats, &QSpinBox::valueChanged, this, [this] { Refit(); });
  connect(m_maxBoost, &QDoubleSpinBox::valueChanged, this, [this] { Refit(); });
  connect(m_from, &QSpinBox::valueChanged, this, [this] { Refit(); });
  connect(m_to, &QSpinBox::valueChanged, this, [this] { Refit(); });
  connect(m_apply, &QPushButton::clicked, this, &AlignmentDialog::ApplyFit);
  connect(m_report, &QPushButton::clicked, this, [this] { WriteReport(); });
  connect(m_close, &QPushButton::clicked, this, &QDialog::close);
  ApplyLanguage();
  UpdateButtons();
}

AlignmentDialog::~AlignmentDialog() = default;

bool AlignmentDialog::subwoofer() const { return m_channel == kSubwooferChannel; }

// The fit range as chosen: by default the screen and surround channels from 40 Hz to 16 kHz,
// the subwoofer's sections from 20 to 120 Hz.
double AlignmentDialog::FromHz() const { return m_from->value(); }
double AlignmentDialog::ToHz() const { return m_to->value(); }

TargetKind AlignmentDialog::ChosenTarget() const {
  switch (m_target->currentIndex()) {
    case 1:
      return TargetKind::smallRoom;
    case 2:
      return TargetKind::flat;
    default:
      return TargetKind::xCurve;
  }
}

void AlignmentDialog::ShowFor(int channel) {
  if (channel != m_channel) {
    m_channel = channel;
    ClearMeasurements();
    // The subwoofer is aligned flat, the screen and surround channels to the X-curve.
    const QSignalBlocker quiet(m_target);
    const QSignalBlocker quietFrom(m_from);
    const QSignalBlocker quietTo(m_to);
    m_target->setCurrentIndex(subwoofer() ? 2 : 0);
    m_seats->setEnabled(!subwoofer());
    m_from->setValue(subwoofer() ? 20 : 40);
    m_to->setValue(subwoofer() ? 120 : 16000);
  }
  ApplyLanguage();
  if (m_channel == kMonitorTab) {
    m_statusRow = kMonitorRow;
    ShowStatus(Caption(m_context.state, kMonitorRow), false);
  }
  UpdateButtons();
  ShowCentredOnParent(this);
}

void AlignmentDialog::ApplyLanguage() {
  const AppState& state = m_context.state;
  const QString name = m_channel >= 0 && m_channel <= kSubwooferChannel
                           ? Caption(state, kChannelNameRows[m_channel]).trimmed()
                           : Caption(state, "监听", "Monitor");
  setWindowTitle(Caption(state, kTitleRow).arg(name));
  m_add->setText(Caption(state, kAddRow));
  m_clear->setText(Caption(state, kClearRow));
  m_targetLabel->setText(Caption(state, kTargetRow));
  m_target->setAccessibleName(Caption(state, kTargetRow));
  for (int i = 0; i < 3; ++i) m_target->setItemText(i, Caption(state, kXCurveRow + i));
  m_seatsLabel->setText(Caption(state, "座位数", "Seats"));
  m_seats->setAccessibleName(Caption(state, "座位数 (X 曲线斜率)", "Seats (the x-curve's slopes)"));
  m_boostLabel->setText(Caption(state, "最大提升", "Boost limit"));
  m_maxBoost->setSuffix(QStringLiteral(" dB"));
  m_maxBoost->setAccessibleName(Caption(state, "均衡相对中值的最大提升", "Boost limit above the equalizer's median"));
  m_rangeLabel->setText(Caption(state, "拟合范围", "Fit range"));
  m_from->setAccessibleName(Caption(state, "拟合范围下限", "Fit range from"));
  m_to->setAccessibleName(Caption(state, "拟合范围上限", "Fit range to"));
  m_signLabel->setText(Caption(state, "报告:", "Report:"));
  m_installer->setPlaceholderText(Caption(state, "安装调试人员", "Installer"));
  m_mic->setPlaceholderText(Caption(state, "测量话筒", "Microphone"));
  m_notes->setPlaceholderText(Caption(state, "备注", "Notes"));
  for (QLineEdit* edit : {m_installer, m_mic, m_notes}) edit->setAccessibleName(edit->placeholderText());
  m_hint->setText(Caption(state, kHintRow));
  m_apply->setText(Caption(state, kApplyRow));
  m_report->setText(Caption(state, kReportRow));
  m_close->setText(Caption(state, kCloseRow));
  QStringList heads;
  for (int c = 0; c < kColumns; ++c) heads << Caption(state, kBandHeadRow + c);
  m_table->setHorizontalHeaderLabels(heads);
  m_table->setAccessibleName(Caption(state, kTitleRow).arg(name));
  m_graph->setAccessibleName(Legend().join(QStringLiteral(", ")));
  // The texts that depend on the figures follow the language too.
  if (m_fit) {
    Refit();
  } else if (m_statusRow >= 0) {
    ShowStatus(Caption(state, m_statusRow), m_statusIsError);
  }
}

QStringList AlignmentDialog::Legend() const {
  QStringList legend;
  for (int i = 0; i < 4; ++i) legend << Caption(m_context.state, kLegendRow + i);
  legend << Caption(m_context.state, "均衡响应", "equalizer") << Caption(m_context.state, "已排除的凹陷", "left out");
  return legend;
}

void AlignmentDialog::AddFiles(const QStringList& paths) {
  if (paths.isEmpty() || m_channel == kMonitorTab) return;
  // Every file first: one that cannot be read, or does not cover the fit range, adds none.
  std::vector<Position> read;
  for (const QString& path : paths) {
    const QString name = QFileInfo(path).fileName();
    MeasurementResult result = ReadMeasurementFile(PathOf(path), name.toStdString());
    if (const auto* error = std::get_if<AlignError>(&result)) {
      m_statusRow = -1;
      ShowStatus(QString::fromStdString(error->Text()), true);
      return;
    }
    Measurement& measurement = std::get<Measurement>(result);
    if (const auto error = CheckCoverage(measurement, FromHz(), ToHz())) {
      m_statusRow = -1;
      ShowStatus(QString::fromStdString(error->Text()), true);
      return;
    }
    read.push_back({path, std::move(measurement)});
  }
  if (m_positions.empty()) m_measuredWith = m_context.image;
  for (Position& position : read) m_positions.push_back(std::move(position));
  Refit();
}

void AlignmentDialog::ClearMeasurements() {
  m_positions.clear();
  m_fit.reset();
  m_statusRow = -1;
  m_graph->Show({}, {});
  m_table->setRowCount(0);
  ShowStatus(QString(), false);
  UpdateButtons();
}

void AlignmentDialog::Refit() {
  m_fit.reset();
  if (m_positions.empty()) {
    m_graph->Show({}, {});
    m_table->setRowCount(0);
    UpdateButtons();
    return;
  }
  const ResponseGrid grid;
  FitRequest request;
  request.channel = m_channel;
  request.image = m_measuredWith;
  request.fromHz = FromHz();
  request.toHz = ToHz();
  request.maxBoostDb = m_maxBoost->value();
  if (!(request.toHz > request.fromHz)) {
    m_statusRow = -1;
    ShowStatus(Caption(m_context.state, "拟合范围下限须低于上限", "The fit range's lower limit must be below its upper"), true);
    UpdateButtons();
    return;
  }
  std::vector<GridCurve> positions;
  for (const Position& position : m_positions) {
    if (const auto error = CheckCoverage(position.measurement, request.fromHz, request.toHz)) {
      m_statusRow = -1;
      ShowStatus(QString::fromStdString(error->Text()), true);
      m_graph->Show({}, {});
      m_table->setRowCount(0);
      UpdateButtons();
      return;
    }
    positions.push_back(InterpolateOnGrid(position.measurement, grid));
  }
  request.average = PowerAverage(positions);
  const AlignmentTarget target = BuiltInTarget(ChosenTarget(), grid, SlopesForSeats(m_seats->value()));
  request.target = target.db;
  auto fitted = FitEqualizer(request);
  if (const auto* error = std::get_if<AlignError>(&fitted)) {
    m_statusRow = -1;
    ShowStatus(QString::fromStdString(error->Text()), true);
    UpdateButtons();
    return;
  }
  m_fit = std::get<FitResult>(std::move(fitted));
  QStringList files;
  for (const Position& position : m_positions) files << position.path;
  const ToleranceBand band = BandFor(m_channel, m_fit->fromHz, m_fit->toHz);
  m_sessions[m_channel] = ReportChannel{m_channel, *m_fit, QString::fromStdString(target.description), files,
                                        QString::fromStdString(band.Source())};

  AlignmentGraph::Curves curves;
  // The positions moved as the average was: onto the target's level.
  for (GridCurve position : positions) {
    for (double& v : position) v -= m_fit->levelBefore;
    curves.positions.push_back(position);
  }
  curves.average = m_fit->before;
  curves.target = m_fit->target;
  curves.predicted = m_fit->after;
  curves.fromHz = m_fit->fromHz;
  curves.toHz = m_fit->toHz;
  curves.equalizer = m_fit->equalizer;
  curves.leftOut = m_fit->leftOut;
  curves.band = band;
  m_graph->Show(std::move(curves), Legend());
  ShowTable();
  m_statusRow = -1;
  ShowStatus(Caption(m_context.state, kFiguresRow)
                 .arg(m_positions.size())
                 .arg(m_fit->fromHz, 0, 'f', 0)
                 .arg(m_fit->toHz, 0, 'f', 0)
                 .arg(m_fit->rmsBefore, 0, 'f', 2)
                 .arg(m_fit->rmsAfter, 0, 'f', 2),
             false);
  m_graph->setAccessibleDescription(m_status);
  UpdateButtons();
}

void AlignmentDialog::ShowTable() {
  if (!m_fit) return;
  const AppState& state = m_context.state;
  const auto& bands = m_fit->bands;
  m_table->setRowCount(static_cast<int>(bands.size()));
  for (int row = 0; row < static_cast<int>(bands.size()); ++row) {
    const BandRow& band = bands[static_cast<std::size_t>(row)];
    const auto limits = BandFor(m_channel, m_fit->fromHz, m_fit->toHz).At(band.hz);
    const bool judged = band.inRange && !band.leftOut && limits && std::isfinite(band.residualAfter);
    const bool inside = !judged || (band.residualAfter >= limits->lower && band.residualAfter <= limits->upper);
    const QString verdict = band.leftOut ? Caption(state, "已排除", "left out")
                            : !judged    ? QStringLiteral("\u2013")
                                         : Caption(state, inside ? kInRow : kOutRow);
    const QString texts[kColumns] = {BandName(band.hz), Db(band.residualBefore), Db(band.tenthsAfter / 10.0),
                                     Db(band.residualAfter), verdict};
    for (int c = 0; c < kColumns; ++c) {
      auto* item = new QTableWidgetItem(texts[c]);
      item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
      if (c == kColumns - 1 && !inside) item->setForeground(QColor(0xff, 0x70, 0x60));
      m_table->setItem(row, c, item);
    }
  }
}

void AlignmentDialog::ShowStatus(const QString& text, bool error) {
  m_status = text;
  m_statusIsError = error;
  m_statusLabel->setText(text);
  m_statusLabel->setProperty("alert", error);
  m_statusLabel->style()->unpolish(m_statusLabel);
  m_statusLabel->style()->polish(m_statusLabel);
  m_statusLabel->setAccessibleName(text);
}

QString AlignmentDialog::statusText() const { return m_status; }

void AlignmentDialog::UpdateButtons() {
  const bool usable = m_channel != kMonitorTab;
  m_add->setEnabled(usable);
  m_target->setEnabled(usable);
  for (QWidget* w : std::initializer_list<QWidget*>{m_maxBoost, m_from, m_to}) w->setEnabled(usable);
  m_clear->setEnabled(!m_positions.empty());
  m_apply->setEnabled(m_fit.has_value());
  m_report->setEnabled(!m_sessions.empty());
}

void AlignmentDialog::ApplyFit() {
  if (!m_fit) return;
  const FitResult& fit = *m_fit;
  const std::vector<AlignedEdit> edits = AlignedEdits(m_context.image, fit.image, m_channel);
  // Every field the fit changed, through the editors' own store-and-send, as one step.
  m_context.edits.Carry(m_context.workspace.intents().ApplyFit(edits, fit.image));
  m_statusRow = -1;
  ShowStatus(Caption(m_context.state, kAppliedRow).arg(edits.size()), false);
  emit settingsApplied();
}

void AlignmentDialog::WriteReport() {
  const QString path = m_savePath();
  if (!path.isEmpty()) WriteReport(path);
}

void AlignmentDialog::WriteReport(const QString& path) {
  std::vector<ReportChannel> fitted;
  for (const auto& [channel, aligned] : m_sessions) fitted.push_back(aligned);
  AlignmentReportInput input = AlignmentReport::ForUnit(m_context.image, fitted, QDateTime::currentDateTime());
  input.signature = {m_installer->text(), Caption(m_context.state, "%1 座", "%1 seats").arg(m_seats->value()), m_mic->text(),
                     m_notes->text()};
  m_statusRow = -1;
  if (const auto failed = AlignmentReport::Write(path, input)) {
    ShowStatus(Caption(m_context.state, kReportFailedRow).arg(*failed), true);
  } else {
    ShowStatus(Caption(m_context.state, kReportWrittenRow).arg(QDir::toNativeSeparators(path)), false);
  }
}

void AlignmentDialog::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* dragged = event->mimeData();
  if (m_channel == kMonitorTab || !dragged->hasUrls()) return;
  for (const QUrl& url : dragged->urls()) {
    if (!url.isLocalFile()) return;
  }
  event->acceptProposedAction();
}

void AlignmentDialog::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  event->acceptProposedAction();
  AddFiles(paths);
}

}  // namespace mzr
