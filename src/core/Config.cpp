#include "core/Config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace mzr {

Config Config::Load(const QString& iniPath) {
  Config config;
  if (!QFile::exists(iniPath)) return config;
  QSettings ini(iniPath, QSettings::IniFormat);
  ini.beginGroup(QStringLiteral("SysPara"));
  bool ok = false;
  const int searchTime = ini.value(QStringLiteral("searchTime"), QStringLiteral("500")).toString().trimmed().toInt(&ok);
  if (ok && searchTime > 0) config.searchTime = searchTime;
  config.localIp = ini.value(QStringLiteral("localIp")).toString().trimmed();
  ini.endGroup();
  return config;
}

QString Config::DefaultPath() { return ResolvePath(QCoreApplication::applicationDirPath()); }

QString Config::ResolvePath(const QString& programDir) {
  const QString beside = QDir(programDir).filePath(QStringLiteral("Config.ini"));
  if (QFileInfo::exists(beside) && QFileInfo(programDir).isWritable()) return beside;
  QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (configHome.isEmpty() || QDir::isRelativePath(configHome)) configHome = QDir::homePath() + QStringLiteral("/.config");
  return QDir(configHome).filePath(QStringLiteral("mzr4700/Config.ini"));
}

QString ExplicitLocalIp(const Config& config) {
  const QString fromEnv = qEnvironmentVariable("MZR4700_LOCAL_IP").trimmed();
  return fromEnv.isEmpty() ? config.localIp : fromEnv;
}

quint16 UdpPort() {
  bool ok = false;
  const int port = qEnvironmentVariable("MZR4700_PORT").toInt(&ok);
  return (ok && port > 0 && port <= 65535) ? static_cast<quint16>(port) : kDefaultUdpPort;
}

}  // namespace mzr
