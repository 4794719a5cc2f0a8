#pragma once
// The program's state outside any window: the program flags, the one parameter image, the
// project document, the UDP link, the edit intents, the edit operation with its undo history, the whole-unit
// commands and the device search, and whether the connected unit holds edits it has not
// stored. Built before the window and destroyed after it; the window, each region, the
// command-line companion and its services hold references to it and to nothing else that
// assembles a link and an image. Needs a QCoreApplication, no widgets and no display.

#include <QObject>
#include <QString>

#include <memory>

#include "core/AppState.h"
#include "files/ProjectDocument.h"
#include "model/ParameterImage.h"

namespace mzr {

class DeviceCommands;
class DeviceDiscovery;
class EditHistory;
class EditIntents;
class EditOperation;
class ParamLink;

class Workspace final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(Workspace)

 public:
  struct Options {
    quint16 udpPort = 0;  // 0: MZR4700_PORT, else 2305
    QString bindAddress = QStringLiteral("0.0.0.0");  // dotted IPv4
    QString configPath;   // empty: the Config.ini the program reads
    int linkTimeoutMs = 2000;   // Timer2
    int networkSettleMs = 300;  // between "ModiNet!" and the new search
  };

  Workspace();
  explicit Workspace(Options options, QObject* parent = nullptr);
  ~Workspace() override;

  AppState& state() { return m_state; }
  const AppState& state() const { return m_state; }
  ParameterImage& image() { return m_image; }
  const ParameterImage& image() const { return m_image; }
  ProjectDocument& document() { return m_document; }
  const ProjectDocument& document() const { return m_document; }
  ParamLink& link() { return *m_link; }
  EditOperation& edits() { return *m_edits; }
  EditHistory& history() { return *m_history; }
  // What each edit a person or a script can do means: plans for edits() to carry out.
  const EditIntents& intents() const { return *m_intents; }
  DeviceCommands& commands() { return *m_commands; }
  DeviceDiscovery& discovery() { return *m_discovery; }
  const Options& options() const { return m_options; }
  quint16 port() const;

  // Edits were sent to the connected unit since it last stored its image (the download's
  // store acknowledged) or since its image was read: a power cut would bring back its
  // stored setup. False while no unit is connected.
  bool unitUnsaved() const { return m_unitUnsaved; }

 signals:
  void unitUnsavedChanged(bool unsaved);

 private:
  void SetUnitUnsaved(bool unsaved);

  Options m_options;
  AppState m_state;
  ParameterImage m_image;
  ProjectDocument m_document;
  // Declared in the order they are built; members are destroyed in reverse, so the search
  // unhooks itself from the link before the link goes.
  std::unique_ptr<ParamLink> m_link;
  std::unique_ptr<EditOperation> m_edits;
  std::unique_ptr<EditHistory> m_history;
  std::unique_ptr<EditIntents> m_intents;
  std::unique_ptr<DeviceCommands> m_commands;
  std::unique_ptr<DeviceDiscovery> m_discovery;
  bool m_unitUnsaved = false;
};

}  // namespace mzr
