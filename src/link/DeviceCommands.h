#pragma once
// The whole-unit operations of the File menu and the command-line companion: read the
// unit's image into the program, download the program's image into the unit and have it
// stored (or restarted, after an EQ copy), restart the unit. Each does nothing, silently,
// while no unit is connected.
//
// A download lands before it is called done: the block write of the image goes first, and
// only its acknowledgement lets the store (or restart) command follow, so a lost image is
// never stored over the unit's memory as if it had arrived. "DownLoad Success" needs both
// acknowledgements; a missing one ends in the link's time-out ("Connect Fail!"). Each step
// has the whole time-out: the first acknowledgement stops Timer2, and the second command
// starts it again.

#include <QObject>
#include <QString>

#include <cstdint>

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
  // The same read, with the reply stored into target instead (ParamLink::imageReceivedInto);
  // the program's image is left alone. target must outlive the read.
  void ReadInto(ParameterImage& target);
  // Block-writes the whole image; on its acknowledgement writes the store command (the
  // byte 2 at 3000).
  void DownloadAll();
  // Writes the restart command (the byte 2 at 3001).
  void Restart();
  // The EQ copy's transfer: block-writes the whole image; on its acknowledgement writes the
  // restart command.
  void DownloadAndRestart();

  bool downloadPending() const { return m_step != Step::Idle; }

 signals:
  // Status-bar texts, panel 0: "DownLoad.." when the image leaves, "DownLoad Success" on the
  // acknowledgement of the command that follows it.
  void statusText(int panel, const QString& text);
  // The unit acknowledged the image and then the store (or restart) command.
  void downloadSucceeded();
  // The same, for the store command: the unit now keeps the image over a power cut.
  void imageStored();

 private:
  enum class Step { Idle, Image, Command };

  void StartDownload(std::uint16_t commandAddress);
  void OnAcknowledged(int command);

  AppState& m_state;
  ParameterImage& m_image;
  ParamLink& m_link;
  Step m_step = Step::Idle;
  std::uint16_t m_commandAddress = 0;  // 3000 store, 3001 restart: sent once the image landed
};

}  // namespace mzr
