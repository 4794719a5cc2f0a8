#pragma once
// Where the microphone's samples come from: a sound card through Qt Multimedia, or a file or
// pipe of raw samples (tests, replay). Every source delivers 48 kHz mono float samples and
// keeps the same account of them: how many arrived, the peak, how many clipped, and the
// drop-outs (fewer frames than the time since the first ones says should have come).

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace mzr {

struct CaptureStats {
  qint64 frames = 0;
  float peak = 0.0f;           // largest magnitude seen, 1.0 = full scale
  qint64 clippedSamples = 0;   // samples at or beyond kClipLevel
  int dropOuts = 0;
  qint64 missingFrames = 0;    // frames the drop-outs lost
};

class AudioCapture : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(AudioCapture)

 public:
  // A sample this close to full scale counts as clipped.
  static constexpr float kClipLevel = 0.999f;
  static constexpr int kSampleRate = 48000;
  // How far the frames may fall behind the clock before it counts as a drop-out: more than
  // a sound server's buffering, far less than a lost block.
  static constexpr qint64 kDropOutSlackFrames = kSampleRate / 4;

  explicit AudioCapture(QObject* parent = nullptr) : QObject(parent) {}
  ~AudioCapture() override = default;

  // Opens the source and starts delivering; the reason when it cannot be opened.
  virtual std::optional<QString> Start() = 0;
  virtual void Stop() = 0;
  // The source as the user knows it: the device's description, or the file's path.
  virtual QString description() const = 0;

  const CaptureStats& stats() const { return m_stats; }
  // Starts a new account (a new capture on the same open source).
  void ResetStats();

 signals:
  void samplesArrived(const QList<float>& samples);
  void failed(const QString& why);
  void ended();  // a file or pipe ran out

 protected:
  // Counts, checks and emits one block; real-time sources also check the clock.
  void Deliver(const QList<float>& samples, bool realTime);

 private:
  CaptureStats m_stats;
  QElapsedTimer m_clock;
  qint64 m_framesAtClockStart = 0;
};

}  // namespace mzr
