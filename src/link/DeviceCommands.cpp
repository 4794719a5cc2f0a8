#include "link/DeviceCommands.h"

#include <array>

#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "model/WriteSpan.h"

namespace mzr {

DeviceCommands::DeviceCommands(AppState& state, ParameterImage& image, ParamLink& link, QObject* parent)
    : QObject(parent), m_state(state), m_image(image), m_link(link) {
  connect(&m_link, &ParamLink::acknowledged, this, &DeviceCommands::OnAcknowledged);
  // The time-out already said "Connect Fail!"; a late acknowledgement finds no step waiting.
  connect(&m_link, &ParamLink::timedOut, this, [this] { m_step = Step::Idle; });
}

void DeviceCommands::ReadAll() {
  if (m_state.connected == 0) return;
  m_link.SendRead(0, static_cast<std::uint16_t>(kImageSize));
  m_link.setAwaitingFullRead(true);
  m_link.setFullReadTarget(nullptr);
}

void DeviceCommands::ReadInto(ParameterImage& target) {
  if (m_state.connected == 0) return;
  m_link.SendRead(0, static_cast<std::uint16_t>(kImageSize));
  m_link.setAwaitingFullRead(true);
  m_link.setFullReadTarget(&target);
}

void DeviceCommands::DownloadAll() { StartDownload(frame::kSaveCommandAddress); }

void DeviceCommands::DownloadAndRestart() { StartDownload(frame::kControlCommandAddress); }

void DeviceCommands::StartDownload(std::uint16_t commandAddress) {
  if (m_state.connected == 0) return;
  m_commandAddress = commandAddress;
  m_step = Step::Image;
  emit statusText(0, QStringLiteral("DownLoad.."));
  m_link.SendSpan(kWholeImage);
}

void DeviceCommands::Restart() {
  if (m_state.connected == 0) return;
  static constexpr std::array<std::uint8_t, 1> kRestart{frame::kCommandValue};
  m_link.SendWrite(frame::kControlCommandAddress, 1, kRestart);
}

void DeviceCommands::OnAcknowledged(int command) {
  // The link passes on only the acknowledgement of its newest command. An edit sent while a
  // download step waits makes that the newest: its acknowledgement says nothing about the
  // step, whose own acknowledgement is now ignored, so the step's frame goes again.
  static constexpr std::array<std::uint8_t, 1> kValue{frame::kCommandValue};
  switch (m_step) {
    case Step::Idle:
      return;
    default:
      if (m_state.connected == 0) {  // disconnected meanwhile: send nothing more
        m_step = Step::Idle;
        return;
      }
      break;
  }
  switch (m_step) {
    case Step::Idle:
      return;
    case Step::Image:
      if (command != static_cast<int>(frame::Command::BlockWrite)) {
        m_link.SendSpan(kWholeImage);
        return;
      }
      m_step = Step::Command;
      // Timer2 was stopped by the acknowledgement just taken, so the command has the whole
      // time-out to be answered.
      m_link.SendWrite(m_commandAddress, 1, kValue);
      return;
    case Step::Command:
      if (command != static_cast<int>(frame::Command::Write)) {
        m_link.SendWrite(m_commandAddress, 1, kValue);
        return;
      }
      m_step = Step::Idle;
      emit statusText(0, QStringLiteral("DownLoad Success"));
      emit downloadSucceeded();
      if (m_commandAddress == frame::kSaveCommandAddress) emit imageStored();
      return;
  }
}

}  // namespace mzr
