#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/Config.h"

namespace mzr {
namespace {

QString WriteIni(const QTemporaryDir& dir, const QByteArray& text) {
  const QString path = dir.filePath(QStringLiteral("Config.ini"));
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text);
  return path;
}

TEST(Config, SearchTimeFallsBackTo500UnlessAPositiveInteger) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  struct Case {
    const char* ini;
    int searchTime;
  };
  const Case cases[] = {
      {"[SysPara]\nsearchTime=1500\n", 1500},
      {"[SysPara]\r\nsearchTime=800\r\n", 800},  // written on Windows
      {"\xEF\xBB\xBF[SysPara]\r\nsearchTime=900\r\n", 900},  // with a byte-order mark
      {"[SysPara]\nsearchTime = 1100 \n", 1100},
      {"[SysPara]\nsearchTime=abc\n", 500},
      {"[SysPara]\nsearchTime=12abc\n", 500},
      {"[SysPara]\nsearchTime=0\n", 500},
      {"[SysPara]\nsearchTime=-20\n", 500},
      {"[SysPara]\nsearchTime=\n", 500},
      {"[SysPara]\nother=1\n", 500},
      {"[Other]\nsearchTime=900\n", 500},
      {"", 500},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Config::Load(WriteIni(dir, c.ini)).searchTime, c.searchTime) << c.ini;
  }
  EXPECT_EQ(Config::Load(dir.filePath(QStringLiteral("missing.ini"))).searchTime, 500);
}

TEST(Config, ChangedFileTakesEffectAtTheNextRead) {
  QTemporaryDir dir;
  const QString path = WriteIni(dir, "[SysPara]\nsearchTime=700\n");
  EXPECT_EQ(Config::Load(path).searchTime, 700);
  WriteIni(dir, "[SysPara]\nsearchTime=1200\n");
  EXPECT_EQ(Config::Load(path).searchTime, 1200);
}

TEST(Config, LocalAddressFromFileOrEnvironment) {
  QTemporaryDir dir;
  const Config config = Config::Load(WriteIni(dir, "[SysPara]\nlocalIp=127.0.0.1\n"));
  EXPECT_EQ(config.localIp, QStringLiteral("127.0.0.1"));
  qunsetenv("MZR4700_LOCAL_IP");
  EXPECT_EQ(ExplicitLocalIp(config), QStringLiteral("127.0.0.1"));
  qputenv("MZR4700_LOCAL_IP", "127.0.0.9");
  EXPECT_EQ(ExplicitLocalIp(config), QStringLiteral("127.0.0.9"));
  qunsetenv("MZR4700_LOCAL_IP");
  EXPECT_TRUE(ExplicitLocalIp(Config{}).isEmpty());
}

TEST(Config, PortFromEnvironment) {
  const struct {
    const char* value;
    quint16 port;
  } cases[] = {{"40000", 40000}, {"0", 2305}, {"70000", 2305}, {"x", 2305}, {"", 2305}};
  for (const auto& c : cases) {
    qputenv("MZR4700_PORT", c.value);
    EXPECT_EQ(UdpPort(), c.port) << c.value;
  }
  qunsetenv("MZR4700_PORT");
  EXPECT_EQ(UdpPort(), 2305);
}

}  // namespace
}  // namespace mzr
