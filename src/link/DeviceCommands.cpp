#include "link/DeviceCommands.h"

#include <array>

#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "model/WriteSpan.h"

namespace mzr {

DeviceCommands::DeviceCommands(AppState& state, ParameterImage& image, ParamLink& link, QObject* parent)
    : QObject(parent), m_state(state), m_image(image), m_link(link) {
  connect(&m_link, &ParamLink::acknowledged, this, &DeviceCommands::OnAcknowledged);
  connect(&m_link, &ParamLink::timedOut, this, [this] { m_downloadPending = false; });
}

void DeviceCommands::ReadAll() {
  if (m_state.connected == 0) return;
  m_link.SendRead(0, static_cast<std::uint16_t>(kImageSize));
  m_link.setAwaitingFullRead(true);
}

void DeviceCommands::DownloadAll() {
  if (m_state.connected == 0) return;
  static constexpr std::array<std::uint8_t, 1> kStore{frame::kCommandValue};
  // The block write's acknowledgement goes unnoticed: the store command is already the
  // newest request when it arrives, and only its acknowledgement ends the exchange.
  m_link.SendSpan(kWholeImage);
  m_link.SendWrite(frame::kSaveCommandAddress, 1, kStore);
  m_downloadPending = true;
  emit statusText(0, QStringLiteral("DownLoad.."));
}

void DeviceCommands::Restart() {
  if (m_state.connected == 0) return;
  static constexpr std::array<std::uint8_t, 1> kRestart{frame::kCommandValue};
  m_link.SendWrite(frame::kControlCommandAddress, 1, kRestart);
}

void DeviceCommands::DownloadAndRestart() {
  if (m_state.connected == 0) return;
  static constexpr std::array<std::uint8_t, 1> kRestart{frame::kCommandValue};
  m_link.SendSpan(kWholeImage);
  m_link.SendWrite(frame::kControlCommandAddress, 1, kRestart);
}

void DeviceCommands::OnAcknowledged(int command) {
  // Any acknowledgement ends the exchange the download started; only the write command's
  // means the store was taken.
  const bool stored = m_downloadPending && command == static_cast<int>(frame::Command::Write);
  m_downloadPending = false;
  if (stored) {
    emit statusText(0, QStringLiteral("DownLoad Success"));
    emit downloadSucceeded();
  }
}

}  // namespace mzr
