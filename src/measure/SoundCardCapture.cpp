#include "measure/SoundCardCapture.h"

#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>

#include <cstring>

namespace mzr {

SoundCardCapture::SoundCardCapture(QString deviceName, QObject* parent)
    : AudioCapture(parent), m_deviceName(std::move(deviceName)) {}

SoundCardCapture::~SoundCardCapture() { Stop(); }

QList<CaptureDevice> SoundCardCapture::Devices() {
  QList<CaptureDevice> out;
  const QAudioDevice fallback = QMediaDevices::defaultAudioInput();
  for (const QAudioDevice& device : QMediaDevices::audioInputs()) {
    out.push_back({QString::fromUtf8(device.id()), device.description(), device.id() == fallback.id()});
  }
  return out;
}

QString SoundCardCapture::description() const {
  return m_device.isNull() ? m_deviceName : m_device.description();
}

std::optional<QString> SoundCardCapture::Start() {
  Stop();
  const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
  m_device = QAudioDevice();
  if (m_deviceName.isEmpty()) {
    m_device = QMediaDevices::defaultAudioInput();
    if (m_device.isNull()) return QStringLiteral("this system has no audio input");
  } else {
    // The id first (it is unique), then the description as the list shows it.
    for (const QAudioDevice& device : inputs) {
      if (QString::fromUtf8(device.id()) == m_deviceName) m_device = device;
    }
    for (const QAudioDevice& device : inputs) {
      if (m_device.isNull() && device.description() == m_deviceName) m_device = device;
    }
    if (m_device.isNull()) return QStringLiteral("no audio input named \"%1\" (--list-devices lists them)").arg(m_deviceName);
  }
  QAudioFormat format;
  format.setSampleRate(kSampleRate);
  format.setChannelCount(1);
  format.setSampleFormat(QAudioFormat::Float);
  if (!m_device.isFormatSupported(format)) {
    return QStringLiteral("%1 cannot deliver 48 kHz mono float samples").arg(m_device.description());
  }
  m_source = std::make_unique<QAudioSource>(m_device, format);
  // A quarter of a second of buffering: a loaded machine loses nothing, and the display
  // still follows within a reading or two.
  m_source->setBufferSize(kSampleRate / 4 * static_cast<int>(sizeof(float)));
  ResetStats();
  m_partial.clear();
  m_io = m_source->start();
  if (m_io == nullptr || m_source->error() != QAudio::NoError) {
    const QString why = QStringLiteral("cannot open %1 (error %2)").arg(m_device.description()).arg(int(m_source->error()));
    Stop();
    return why;
  }
  connect(m_io, &QIODevice::readyRead, this, &SoundCardCapture::ReadAvailable);
  connect(m_source.get(), &QAudioSource::stateChanged, this, [this](QAudio::State state) {
    if (m_source && state == QAudio::StoppedState && m_source->error() != QAudio::NoError) {
      const QString why = QStringLiteral("%1 stopped (error %2)").arg(m_device.description()).arg(int(m_source->error()));
      Stop();
      emit failed(why);
    }
  });
  return std::nullopt;
}

void SoundCardCapture::Stop() {
  if (m_source) {
    m_source->disconnect(this);
    m_source->stop();
  }
  m_io = nullptr;
  m_source.reset();
}

void SoundCardCapture::ReadAvailable() {
  if (m_io == nullptr) return;
  QByteArray bytes = m_partial + m_io->readAll();
  const qsizetype whole = bytes.size() / qsizetype(sizeof(float)) * qsizetype(sizeof(float));
  m_partial = bytes.mid(whole);
  if (whole == 0) return;
  QList<float> samples(whole / qsizetype(sizeof(float)));
  std::memcpy(samples.data(), bytes.constData(), static_cast<std::size_t>(whole));
  Deliver(samples, true);
}

}  // namespace mzr
