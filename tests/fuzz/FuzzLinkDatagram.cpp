// Fuzz target: any datagram, in any link state, is either taken or dropped; it never
// reads or writes outside the datagram or the image. The first input byte picks the
// exchange in progress, the rest is the datagram.

#include <QCoreApplication>

#include <array>
#include <cstdlib>

#include "core/AppState.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "model/ParameterImage.h"

namespace {

void CheckCodec(mzr::frame::View d) {
  if (const auto reply = mzr::frame::ParseReadReply(d)) {
    const bool inside = reply->data.data() >= d.data() && reply->data.data() + reply->data.size() <= d.data() + d.size();
    if (reply->data.size() != reply->count || reply->address + reply->count > mzr::kImageSize || !inside) std::abort();
  }
  if (const auto request = mzr::frame::ParseRequest(d)) {
    if (request->command != mzr::frame::Command::Read && request->data.size() != request->count) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Timer2 needs an event dispatcher; made here so libFuzzer and the replay driver share it.
  static int argc = 1;
  static char name[] = "link_datagram_fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  if (size == 0) return 0;
  const mzr::frame::View datagram(data + 1, size - 1);
  CheckCodec(datagram);

  mzr::AppState state;
  state.networkMode = 1;
  mzr::ParameterImage image;
  mzr::ParamLink link(state, image, mzr::ParamLink::Options{});  // never opened: sends stay in-process
  link.setLocalIp(QStringLiteral("127.0.0.1"));
  link.SetSearchReplyHandler([](const mzr::frame::ReadReply& reply, const QString&) { return reply.count > 0; });
  const std::array<std::uint8_t, 1> one{2};
  switch (data[0] & 3) {
    case 1: link.SendRead(0, 852); break;
    case 2: link.SendWrite(3000, 1, one); break;
    case 3: link.SendBlockWrite(833, 1, one); break;
    default: break;
  }
  link.setAwaitingFullRead((data[0] & 4) != 0);
  link.HandleDatagram(datagram, (data[0] & 8) != 0 ? QStringLiteral("127.0.0.1") : QStringLiteral("127.0.0.2"));
  return 0;
}
