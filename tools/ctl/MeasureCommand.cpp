// measure: one seat of a hall. The microphone (or a file or pipe of raw samples) is opened
// and the calibration read before the unit is touched, so a bad device or file changes
// nothing. Then: the unit's test signal is read, a noise floor taken with the generator off,
// pink noise switched onto the output, the seat captured, and the unit's own test-signal
// setting put back whatever happens (failure, SIGINT or SIGTERM, a unit that stops
// answering). The generator's writes go through the workspace's edit operation as the
// output drawer's test-signal boxes make them, quietly: no undo step, not unsaved work.

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>

#include <signal.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "CtlRunner.h"
#include "measure/AnalyserBands.h"
#include "measure/FileCapture.h"
#include "measure/FramePowers.h"
#include "measure/MicCalibration.h"
#include "measure/RecordAnalysis.h"
#include "measure/SoundCardCapture.h"
#include "workspace/EditIntents.h"
#include "workspace/Workspace.h"

namespace mzr::ctl {
namespace {

constexpr double kSettleSeconds = 1.0;           // the room and the sound server's buffers
constexpr std::size_t kNoiseFloorSamples = 2 * kAnalyserPoints;  // 2.7 s
constexpr double kDefaultSeconds = 10.0;
constexpr double kLowSignalToNoiseDb = 10.0;
constexpr int kSampleRate = AudioCapture::kSampleRate;

volatile sig_atomic_t g_cancelled = 0;
void OnCancel(int) { g_cancelled = 1; }

// SIGINT and SIGTERM cancel the capture instead of ending the process, for as long as the
// unit's generator may be on; the previous handlers come back afterwards.
class CancelSignals final {
 public:
  CancelSignals() {
    g_cancelled = 0;
    struct sigaction action {};
    action.sa_handler = OnCancel;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
  }
  ~CancelSignals() {
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
  }
  CancelSignals(const CancelSignals&) = delete;
  CancelSignals& operator=(const CancelSignals&) = delete;

 private:
  struct sigaction m_oldInt {};
  struct sigaction m_oldTerm {};
};

// Waits for skip samples to pass, then keeps count; the reason when it cannot.
std::optional<QString> Collect(AudioCapture& capture, std::size_t skip, std::size_t count, std::vector<float>& out) {
  out.clear();
  out.reserve(count);
  std::optional<QString> problem;
  QEventLoop loop;
  std::size_t skipped = 0;
  const auto arrived = QObject::connect(&capture, &AudioCapture::samplesArrived, &loop, [&](const QList<float>& samples) {
    for (const float s : samples) {
      if (skipped < skip) {
        ++skipped;
      } else if (out.size() < count) {
        out.push_back(s);
      }
    }
    if (out.size() >= count) loop.quit();
  });
  QObject::connect(&capture, &AudioCapture::failed, &loop, [&](const QString& why) {
    problem = why;
    loop.quit();
  });
  QObject::connect(&capture, &AudioCapture::ended, &loop, [&] {
    problem = QStringLiteral("%1 ended after %2 of the %3 samples needed").arg(capture.description()).arg(out.size()).arg(count);
    loop.quit();
  });
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
    if (g_cancelled != 0) {
      problem = QStringLiteral("cancelled");
      loop.quit();
    }
  });
  watch.start(50);
  // Twice the real time and ten seconds more: a source that delivers nothing is not waited
  // for without end.
  const auto limitMs = static_cast<int>(2000.0 * static_cast<double>(skip + count) / kSampleRate) + 10000;
  QTimer::singleShot(limitMs, &loop, [&] {
    problem = QStringLiteral("%1 delivered %2 of %3 samples in %4 s").arg(capture.description()).arg(out.size()).arg(count).arg(limitMs / 1000);
    loop.quit();
  });
  if (out.size() < count && !problem) loop.exec();
  QObject::disconnect(arrived);
  return problem;
}

struct Levels {
  std::vector<double> third;
  std::vector<double> fine;
};

Levels Calibrated(const RecordSpectrum& spectrum, const MicCalibration* calibration) {
  Levels levels{spectrum.thirdDb, spectrum.fineDb};
  if (calibration != nullptr) {
    const auto& thirds = ThirdOctaveBands();
    const auto& fine = TwentyFourthOctaveBands();
    for (std::size_t b = 0; b < thirds.size(); ++b) levels.third[b] -= calibration->CorrectionAt(thirds[b].hz);
    for (std::size_t b = 0; b < fine.size(); ++b) levels.fine[b] -= calibration->CorrectionAt(fine[b].hz);
  }
  return levels;
}

double Rounded(double db) { return std::round(db * 100.0) / 100.0; }

QString BandName(double hz) {
  return hz >= 1000.0 ? QStringLiteral("%1 kHz").arg(hz / 1000.0) : QStringLiteral("%1 Hz").arg(hz);
}

}  // namespace

CtlResult CtlRunner::Measure() {
  if (m_args.listDevices) {
    const QList<CaptureDevice> devices = SoundCardCapture::Devices();
    if (m_args.json) {
      QJsonArray list;
      for (const CaptureDevice& d : devices) {
        list.append(QJsonObject{{QStringLiteral("id"), d.id}, {QStringLiteral("description"), d.description},
                                {QStringLiteral("default"), d.isDefault}});
      }
      m_out << QJsonDocument(QJsonObject{{QStringLiteral("devices"), list}}).toJson(QJsonDocument::Indented);
    } else {
      if (devices.isEmpty()) m_err << "no audio inputs\n";
      for (const CaptureDevice& d : devices) {
        m_out << d.id << '\t' << d.description << (d.isDefault ? QStringLiteral("\t(default)") : QString()) << '\n';
      }
    }
    return CtlResult::Ok();
  }

  const QString unit = m_args.operands.at(0);
  const int channel = *m_args.channel;
  const double seconds = m_args.seconds.value_or(kDefaultSeconds);
  // Whole frames of the analyser: a generator's noise that repeats every frame is then read
  // over whole repeats.
  const auto frames = static_cast<std::size_t>(std::ceil(seconds * kSampleRate / kAnalyserPoints));
  const std::size_t signalSamples = frames * kAnalyserPoints;

  // Everything that can be refused is refused before the unit is touched.
  std::optional<MicCalibration> calibration;
  if (!m_args.calibration.isEmpty()) {
    auto read = ReadCalibrationFile(std::filesystem::path(QFile::encodeName(m_args.calibration).toStdString()), m_args.calibration.toStdString());
    if (auto* problem = std::get_if<std::string>(&read)) {
      return CtlResult::Fail(ExitCode::fileError, QString::fromStdString(*problem));
    }
    calibration = std::get<MicCalibration>(std::move(read));
  }
  std::unique_ptr<AudioCapture> capture;
  if (m_args.device.startsWith(QLatin1String("file:"))) {
    capture = std::make_unique<FileCapture>(m_args.device.mid(5));
  } else {
    capture = std::make_unique<SoundCardCapture>(m_args.device);
  }
  if (const auto problem = capture->Start()) return CtlResult::Fail(ExitCode::fileError, *problem);

  UnitSession* session = nullptr;
  if (auto opened = Session(&session); opened.code != ExitCode::ok) return opened;
  ParameterImage before;
  if (auto read = session->ReadImage(unit, &before); read.code != ExitCode::ok) return read;
  const std::uint8_t oldMask = before.testSignalMask();
  const std::uint8_t oldType = before.testSignalType();

  const CancelSignals cancelSignals;
  const auto setGenerator = [&](std::uint8_t mask, std::uint8_t type, const QString& what) {
    return session->Carry(unit, session->workspace().intents().SetTestSignalForMeasurement(mask, type), what);
  };
  bool changed = false;
  // Puts the unit's test signal back; adds what went wrong doing so to a failure.
  const auto finish = [&](CtlResult result) {
    if (!changed) return result;
    const CtlResult restored = setGenerator(oldMask, oldType, QStringLiteral("the test signal put back"));
    if (restored.code != ExitCode::ok) {
      if (result.code == ExitCode::ok) return CtlResult::Fail(restored.code, restored.error + QStringLiteral("; the generator may still be on"));
      // A unit that stopped answering is what the caller has to see to first.
      result.code = restored.code;
      result.error += QStringLiteral("; and the test signal could not be put back: ") + restored.error;
    }
    return result;
  };
  const auto captureFailure = [&](const QString& why) {
    return finish(CtlResult::Fail(why == QLatin1String("cancelled") ? ExitCode::noAnswerOrDiffer : ExitCode::fileError,
                                  why == QLatin1String("cancelled") ? QStringLiteral("cancelled; the unit's test signal is as it was")
                                                                    : why));
  };

  const auto settle = static_cast<std::size_t>(kSettleSeconds * kSampleRate);
  if (oldMask != 0) {
    changed = true;
    if (auto off = setGenerator(0, oldType, QStringLiteral("the generator off")); off.code != ExitCode::ok) return finish(off);
  }
  m_err << QStringLiteral("noise floor: %1 s with the generator off\n").arg(double(kNoiseFloorSamples) / kSampleRate, 0, 'f', 1);
  m_err.flush();
  std::vector<float> noise;
  if (const auto problem = Collect(*capture, settle, kNoiseFloorSamples, noise)) return captureFailure(*problem);

  changed = true;
  if (auto on = setGenerator(static_cast<std::uint8_t>(1u << channel), 0, QStringLiteral("pink noise on output %1").arg(channel));
      on.code != ExitCode::ok) {
    return finish(on);
  }
  m_err << QStringLiteral("pink noise on channel %1: capturing %2 s\n").arg(channel).arg(double(signalSamples) / kSampleRate, 0, 'f', 1);
  m_err.flush();
  std::vector<float> signal;
  // The account of clipping and drop-outs covers what is measured.
  capture->ResetStats();
  if (const auto problem = Collect(*capture, settle, signalSamples, signal)) return captureFailure(*problem);
  const CaptureStats stats = capture->stats();
  if (auto done = finish(CtlResult::Ok()); done.code != ExitCode::ok) return done;
  changed = false;
  capture->Stop();

  const auto noiseSpectrum = AnalyseRecord(noise);
  const auto signalSpectrum = AnalyseRecord(signal);
  const MicCalibration* cal = calibration ? &*calibration : nullptr;
  const Levels noiseLevels = Calibrated(std::get<RecordSpectrum>(noiseSpectrum), cal);
  const Levels levels = Calibrated(std::get<RecordSpectrum>(signalSpectrum), cal);
  const auto& thirds = ThirdOctaveBands();
  const auto& fine = TwentyFourthOctaveBands();

  // The measurement file: the text export that align reads, at 1/24 octave.
  QSaveFile file(m_args.outPath);
  if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
    QTextStream text(&file);
    text << QStringLiteral("* mzr4700ctl measure: unit %1, output %2, %3, %4 s, calibration %5\n")
                .arg(unit)
                .arg(channel)
                .arg(capture->description())
                .arg(double(signalSamples) / kSampleRate, 0, 'f', 2)
                .arg(cal != nullptr ? QString::fromStdString(cal->name) : QStringLiteral("none"));
    text << "* Freq(Hz) SPL(dB re full scale, 1/24 octave on the 1/3-octave scale)\n";
    for (std::size_t b = 0; b < fine.size(); ++b) {
      text << QString::number(fine[b].hz, 'f', 3) << ' ' << QString::number(levels.fine[b], 'f', 3) << '\n';
    }
  }
  if (!file.commit()) {
    return CtlResult::Fail(ExitCode::fileError, QStringLiteral("%1: cannot write the measurement (%2)").arg(m_args.outPath, file.errorString()));
  }

  QJsonArray bands, floorBands, snrBands, lowBands;
  for (std::size_t b = 0; b < thirds.size(); ++b) {
    const double snr = levels.third[b] - noiseLevels.third[b];
    bands.append(QJsonObject{{QStringLiteral("hz"), thirds[b].nominal}, {QStringLiteral("db"), Rounded(levels.third[b])}});
    floorBands.append(QJsonObject{{QStringLiteral("hz"), thirds[b].nominal}, {QStringLiteral("db"), Rounded(noiseLevels.third[b])}});
    snrBands.append(QJsonObject{{QStringLiteral("hz"), thirds[b].nominal}, {QStringLiteral("db"), Rounded(snr)}});
    if (snr < kLowSignalToNoiseDb) {
      lowBands.append(thirds[b].nominal);
      m_err << QStringLiteral("warning: the %1 band is only %2 dB above the noise floor\n").arg(BandName(thirds[b].nominal)).arg(snr, 0, 'f', 1);
    }
  }
  if (stats.clippedSamples > 0) {
    m_err << QStringLiteral("warning: the input clipped (%1 samples at full scale): turn the microphone's gain down\n").arg(stats.clippedSamples);
  }
  if (stats.dropOuts > 0) {
    m_err << QStringLiteral("warning: %1 drop-out(s), %2 samples lost: the measurement may be wrong\n").arg(stats.dropOuts).arg(stats.missingFrames);
  }

  if (m_args.json) {
    QJsonObject calibrationJson;
    if (cal != nullptr) {
      calibrationJson.insert(QStringLiteral("file"), QString::fromStdString(cal->name));
      calibrationJson.insert(QStringLiteral("header"), QString::fromStdString(cal->header));
      if (cal->sensitivityDb) calibrationJson.insert(QStringLiteral("sensitivityDb"), *cal->sensitivityDb);
      if (cal->sensitivityHz) calibrationJson.insert(QStringLiteral("sensitivityHz"), *cal->sensitivityHz);
      if (!cal->serial.empty()) calibrationJson.insert(QStringLiteral("serial"), QString::fromStdString(cal->serial));
      calibrationJson.insert(QStringLiteral("points"), static_cast<int>(cal->hz.size()));
    }
    const QJsonObject json{
        {QStringLiteral("unit"), unit},
        {QStringLiteral("channel"), channel},
        {QStringLiteral("device"), capture->description()},
        {QStringLiteral("seconds"), double(signalSamples) / kSampleRate},
        {QStringLiteral("out"), m_args.outPath},
        {QStringLiteral("levels"), QStringLiteral("dB re full-scale sine, 1/3 octave")},
        {QStringLiteral("bands"), bands},
        {QStringLiteral("noiseFloor"), floorBands},
        {QStringLiteral("signalToNoise"), snrBands},
        {QStringLiteral("lowSignalToNoise"), lowBands},
        {QStringLiteral("clipping"), QJsonObject{{QStringLiteral("clipped"), stats.clippedSamples > 0},
                                                 {QStringLiteral("samples"), stats.clippedSamples},
                                                 {QStringLiteral("peakDb"), Rounded(MeanSquareToDb(0.5 * double(stats.peak) * double(stats.peak)))}}},
        {QStringLiteral("dropOuts"), QJsonObject{{QStringLiteral("count"), stats.dropOuts}, {QStringLiteral("missingSamples"), stats.missingFrames}}},
        {QStringLiteral("calibration"), cal != nullptr ? QJsonValue(calibrationJson) : QJsonValue()},
    };
    m_out << QJsonDocument(json).toJson(QJsonDocument::Indented);
  } else {
    m_out << QStringLiteral("%1 output %2, %3, %4 s\n").arg(unit).arg(channel).arg(capture->description()).arg(double(signalSamples) / kSampleRate, 0, 'f', 1);
    m_out << "band        level   noise     s/n\n";
    for (std::size_t b = 0; b < thirds.size(); ++b) {
      m_out << QStringLiteral("%1 %2 %3 %4\n")
                   .arg(BandName(thirds[b].nominal), -9)
                   .arg(levels.third[b], 8, 'f', 1)
                   .arg(noiseLevels.third[b], 7, 'f', 1)
                   .arg(levels.third[b] - noiseLevels.third[b], 7, 'f', 1);
    }
    m_out << QStringLiteral("written to %1\n").arg(m_args.outPath);
  }
  return CtlResult::Ok();
}

}  // namespace mzr::ctl
