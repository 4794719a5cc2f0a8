#pragma once
// Raw 32-bit float mono 48 kHz samples (host byte order) from a file, a named pipe or
// standard input ("-"). A pipe is read as its writer plays it and is checked for drop-outs
// like a sound card; a regular file is read as fast as it can be (replay). Reading polls the
// descriptor, which suits files and pipes alike.

#include <QByteArray>
#include <QString>
#include <QTimer>

#include "measure/AudioCapture.h"

namespace mzr {

class FileCapture final : public AudioCapture {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(FileCapture)

 public:
  // waitMs: how long a pipe may stay without a writer or without data before the capture
  // fails (the writer may open it after the reader).
  explicit FileCapture(QString path, int waitMs = 5000, QObject* parent = nullptr);
  ~FileCapture() override;

  std::optional<QString> Start() override;
  void Stop() override;
  QString description() const override { return m_path; }

 private:
  void ReadAvailable();

  QString m_path;
  int m_waitMs;
  int m_fd = -1;
  bool m_ownsFd = false;
  bool m_realTime = false;
  bool m_sawData = false;
  QByteArray m_partial;  // bytes of a sample cut by a read
  QTimer m_poll;
  QElapsedTimer m_quietSince;
};

}  // namespace mzr
