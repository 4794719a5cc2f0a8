#pragma once
// Finds units by a broadcast read of the whole image, lists each unit that answers, connects
// to a listed unit without another read, and gives a listed unit new network settings.
// Widget-free: the device-list drawer and the command-line companion drive it and show what
// it reports through its signals (status texts, error messages, row changes). UI thread only.

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>

#include "core/AppState.h"
#include "link/FrameCodec.h"
#include "link/discovery/DeviceTable.h"
#include "model/ParameterImage.h"

namespace mzr {

class ParamLink;

// The outcome of a network-settings change; every value but Sent comes with its message.
enum class NetworkChangeResult {
  Sent,
  NoSelection,  // no listed unit is selected: nothing to change
  IpEmpty,
  IpInvalid,
  DuplicateIp,
  MaskEmpty,
  MaskInvalid,
  GatewayEmpty,
  GatewayInvalid,
  // The unit's listed address is outside the PC's subnet, so only a broadcast reaches it,
  // and the search listed other units that the broadcast would move as well.
  OutsideSubnet,
};

// The message-box text of a result (empty for Sent and NoSelection).
QString NetworkChangeMessage(NetworkChangeResult result);
QString LocalIpMissingMessage();
// Caption of every error box of the device list.
QString ErrorCaption();

class DeviceDiscovery final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(DeviceDiscovery)

 public:
  struct Options {
    QString configPath;  // Config.ini, read afresh at every search; empty: beside the program
    int settleMs = 300;  // wait between a "ModiNet!" answer and the new search
  };

  // state, image and link are owned by the caller and outlive the discovery. Registers the
  // search-reply step with the link and follows its network acknowledgements.
  DeviceDiscovery(AppState& state, ParameterImage& image, ParamLink& link, Options options, QObject* parent = nullptr);
  ~DeviceDiscovery() override;

  // The search: the link's socket (bound at the first search), local address, broadcast
  // address, network mode, test-signal reset, the broadcast read, Timer3, the cleared
  // identity columns and "Search..".
  void SearchDevices();
  // The search-reply step: lists a new unit (true) or drops the reply (false).
  bool HandleSearchReply(const frame::ReadReply& reply);
  // Timer3 ran out: "Search completed    find:" and the count.
  void Timer3Timer();

  // Row selection 1..254 (any cell of the row).
  void SelectRow(int row);
  // Connect to the selected unit (button); nothing when no unit was ever selected.
  void Connect();
  // Double click: connects to the row's unit; an empty row does nothing.
  void DoubleClickRow(int row);
  void Disconnect();

  // The network-settings change of the selected unit from the three field texts. The write
  // goes to the address listed in the selected row, whichever unit is connected; by
  // broadcast only when that address is outside the PC's subnet and the search listed that
  // unit alone.
  NetworkChangeResult ChangeNetworkSettings(const QString& ipText, const QString& maskText, const QString& gatewayText);
  // A "ModiNet!" answer: after the settle time, search again and drop the connection.
  void NetworkAcknowledged();

  const DeviceTable& table() const { return m_table; }
  int devicesFound() const { return m_devicesFound; }
  int selectedDevice() const { return m_selectedDevice; }
  bool deviceSelected() const { return m_deviceSelected; }
  const QString& deviceIp() const { return m_deviceIp; }
  bool searching() const { return m_timer3.isActive(); }
  // The listed row (1..devicesFound) whose address column reads ip, or 0.
  int RowOf(const QString& ip) const;

 signals:
  void statusText(int panel, const QString& text);
  // A message box with the caption ErrorCaption().
  void errorMessage(const QString& text);
  // The test signal goes back to pink noise on no channel (the output drawer's controls).
  void testSignalReset();
  // A search began: the connect and network buttons are disabled until a row is selected.
  void searchStarted();
  // Cells of rows first..last changed.
  void rowsChanged(int first, int last);
  // Timer3 ran out: show the list, select row 254, scroll to the top.
  void searchCompleted(int devicesFound);
  // The selection enables (or disables) the connect and network buttons and fills the fields.
  void selectionChanged(bool rowListed, const QString& ip, const QString& mask, const QString& gateway);
  // The selected unit's image became the current image; emitted while AppState::refreshing
  // is 1 so the receivers refresh the profile dialog and every editor without sending.
  void imageReplaced();
  // Connected to ip: the list can be hidden.
  void deviceConnected(const QString& ip);
  // Disconnect ran: connected is 0.
  void disconnected();
  // The search after a network-settings change found the moved unit in this row: select it,
  // so the user sees where it went.
  void rowSelectionRequested(int row);

 private:
  AppState& m_state;
  ParameterImage& m_image;
  ParamLink& m_link;
  Options m_options;
  DeviceTable m_table;
  QTimer m_timer3;
  QTimer m_settleTimer;
  int m_devicesFound = 0;
  int m_selectedDevice = 0;
  bool m_deviceSelected = false;
  QString m_deviceIp;
  QString m_changedTo;  // the new address of the last change sent, until its "ModiNet!"
  QString m_movedTo;    // the address to select once the search after that answer completes
};

}  // namespace mzr
