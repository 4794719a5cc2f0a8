#pragma once
// The companion's connection to units: the program's own workspace (link, device commands
// and discovery), driven to completion one operation at a time in a local event loop. Every
// operation ends on the unit's answer or on the link's time-out, never on a guess. Frames go
// only to the unit address an operation names, or to the broadcast address of the local
// network for a search.

#include <QObject>
#include <QString>

#include <functional>


#include "CtlResult.h"
#include "core/AppState.h"
#include "link/DeviceCommands.h"
#include "link/EditPlan.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "model/ParameterImage.h"
#include "workspace/Workspace.h"

namespace mzr::ctl {

// One row of a search, as the device list shows it.
struct FoundUnit {
  QString ip, hall, screen, model, mac, mask, gateway, port;
  int entry = 0;  // index into the discovery's device table
};

class UnitSession final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(UnitSession)

 public:
  struct Options {
    quint16 port = 2305;
    int timeoutMs = 2000;  // the link's Timer2
    QString configPath;    // Config.ini; empty: beside the program
  };

  explicit UnitSession(Options options, QObject* parent = nullptr);
  ~UnitSession() override;

  // Binds the link's socket (shared, as the program does).
  CtlResult Open();

  // Broadcasts the whole-image read and collects the replies for searchTimeMs (the
  // Config.ini search time when not given). Refuses to search when the local address or its
  // network cannot be found, rather than broadcast on a guessed network.
  CtlResult Search(std::optional<int> searchTimeMs, QList<FoundUnit>* units);
  // The image a unit sent with its search reply.
  ParameterImage SearchImage(const FoundUnit& unit) const;

  // Reads the whole image of the unit at ip.
  CtlResult ReadImage(const QString& ip, ParameterImage* image);
  // Block-writes image into the unit and, once the unit acknowledged it, sends the store
  // command; Ok only once the unit acknowledged both.
  CtlResult Download(const QString& ip, const ParameterImage& image);
  // Download, then reads the unit's image back: Ok only when it equals image in every byte
  // but 132..151 (MAC, address, mask, gateway and port are the unit's own).
  CtlResult Restore(const QString& ip, const ParameterImage& image);
  // Sends the restart command; Ok once the unit acknowledged it.
  CtlResult Restart(const QString& ip);
  // Gives the unit at ip (found by a search just made) a new address, mask and gateway with
  // the program's address rules; Ok once the unit answered "ModiNet!".
  CtlResult ChangeNetwork(const QString& ip, const QString& newIp, const QString& mask, const QString& gateway,
                          std::optional<int> searchTimeMs);

  QString localIp() const;
  // The state, image and link every operation above works on.
  Workspace& workspace() { return m_workspace; }

  // Scripted edits (UnitEdits.cpp). Carries out plan (an intent of workspace().intents())
  // on the unit at ip through the edit operation's acknowledged queue; Ok once the unit
  // acknowledged every frame. A refused plan fails with its refusal, a missing answer with
  // "did not answer <what>" and how many frames were acknowledged.
  CtlResult Carry(const QString& ip, EditPlan plan, const QString& what);
  // The store command alone; Ok once the unit acknowledged it.
  CtlResult Store(const QString& ip);

 private:
  // Makes ip the destination of every frame, as connecting to a listed unit does. Refuses
  // the local network's broadcast address: a read would take whichever unit answers first,
  // and a restore or restart would reach every unit of the cinema.
  CtlResult Target(const QString& ip);
  CtlResult NoAnswer(const QString& ip, const QString& what) const;

  Options m_options;
  Workspace m_workspace;
  AppState& m_state;
  ParameterImage& m_image;
  ParamLink& m_link;
  DeviceCommands& m_commands;
  DeviceDiscovery& m_discovery;
};

}  // namespace mzr::ctl
