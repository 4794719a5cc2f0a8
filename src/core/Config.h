#pragma once
// Config.ini: section "SysPara", key "searchTime" (milliseconds the device search waits) and
// the optional key "localIp" (the PC's own address). Read afresh at every search, never
// written. It lies beside the program; an installed program, whose folder a user cannot
// write, reads the user's $XDG_CONFIG_HOME/mzr4700/Config.ini instead. The environment variables MZR4700_LOCAL_IP and MZR4700_PORT
// override the local address and the UDP port (the port is for tests on loopback).

#include <QString>

namespace mzr {

inline constexpr int kDefaultSearchTimeMs = 500;
inline constexpr quint16 kDefaultUdpPort = 2305;

struct Config {
  int searchTime = kDefaultSearchTimeMs;  // always positive
  QString localIp;                        // empty when not given

  // Reads the file at iniPath; a missing or unreadable file gives the defaults. A
  // "searchTime" that is not an integer, or is 0 or below, gives 500.
  static Config Load(const QString& iniPath);
  // ResolvePath for the folder of the running program.
  static QString DefaultPath();
  // Config.ini in programDir when it exists there and programDir can be written; otherwise
  // Config.ini in the folder "mzr4700" of $XDG_CONFIG_HOME (~/.config when that is unset or
  // not an absolute path), whether it exists or not.
  static QString ResolvePath(const QString& programDir);
};

// The local address to use: MZR4700_LOCAL_IP, else the file's "localIp", else empty (the
// caller then takes the first IPv4 address of the host name).
QString ExplicitLocalIp(const Config& config);

// The UDP port: MZR4700_PORT when it holds a valid port number, else 2305.
quint16 UdpPort();

}  // namespace mzr
