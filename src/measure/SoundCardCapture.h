#pragma once
// Capture from a sound card or a sound server's source through Qt Multimedia's QAudioSource
// in push mode (on Linux it reaches PulseAudio and PipeWire's PulseAudio service): 48 kHz,
// one channel, float samples, the server converting whatever the device has. Devices are
// chosen by the id or the description the system lists them with (a PipeWire node name, a
// USB microphone's product name); no name is the system's default input.

#include <QAudioDevice>
#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

#include "measure/AudioCapture.h"

class QAudioSource;
class QIODevice;

namespace mzr {

struct CaptureDevice {
  QString id;
  QString description;
  bool isDefault = false;
};

class SoundCardCapture final : public AudioCapture {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(SoundCardCapture)

 public:
  explicit SoundCardCapture(QString deviceName, QObject* parent = nullptr);
  ~SoundCardCapture() override;

  // The inputs the system offers now, the default one marked.
  static QList<CaptureDevice> Devices();

  std::optional<QString> Start() override;
  void Stop() override;
  QString description() const override;

 private:
  void ReadAvailable();

  QString m_deviceName;
  QAudioDevice m_device;
  std::unique_ptr<QAudioSource> m_source;
  QIODevice* m_io = nullptr;  // owned by m_source
  QByteArray m_partial;
};

}  // namespace mzr
