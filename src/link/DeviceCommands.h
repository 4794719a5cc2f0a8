#pragma once
// The whole-unit operations of the File menu and the command-line companion: read the
// unit's image into the program, download the program's image into the unit and have it
// stored, restart the unit. Each does nothing, silently, while no unit is connected.
// "DownLoad Success" waits for the unit's acknowledgement of the store command; a unit that
// does not answer ends in the link's time-out ("Connect Fail!") instead.

#include <QObject>
#include <QString>

#include "core/AppState.h"
#include "model/ParameterImage.h"

namespace mzr {

class ParamLink;

class DeviceCommands final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(DeviceCommands)

 public:
  // state, image and link are owned by the caller and outlive the commands.
  DeviceCommands(AppState& state, ParameterImage& image, ParamLink& link, QObject* parent = nullptr);

  // Reads 852 bytes at 0; the link stores the reply and emits ParamLink::imageReceived.
  void ReadAll();
  // Block-writes the whole image, then writes the store command (the byte 2 at 3000).
  void DownloadAll();
  // Writes the restart command (the byte 2 at 3001).
  void Restart();
  // The EQ copy's transfer: block-writes the whole image, then the restart command.
  void DownloadAndRestart();

  bool downloadPending() const { return m_downloadPending; }

 signals:
  // Status-bar texts, panel 0: "DownLoad.." when the frames leave, "DownLoad Success" on the
  // store command's acknowledgement.
  void statusText(int panel, const QString& text);
  // The unit acknowledged the store command of a download.
  void downloadSucceeded();

 private:
  void OnAcknowledged(int command);

  AppState& m_state;
  ParameterImage& m_image;
  ParamLink& m_link;
  bool m_downloadPending = false;
};

}  // namespace mzr
