// The program's start-up pieces as main() uses them, on real files and real widgets under
// the offscreen platform.

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include "app/CommandLine.h"
#include "app/QtLanguage.h"
#include "core/Config.h"
#include "files/ProjectFile.h"
#include "support/SimProcess.h"
#include "ui/window/MainMenu.h"
#include "ui/window/MainWindow.h"
#include "workspace/Workspace.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/window/StatusBar.h"

using namespace mzr;

namespace {

Workspace::Options LoopbackOptions() {
  Workspace::Options link;
  link.udpPort = test::FreeUdpPort();
  link.bindAddress = QStringLiteral("127.0.0.1");
  return link;
}

bool Save(const QString& path, const ParameterImage& image) {
  return SaveProjectFile(std::filesystem::path(path.toStdString()), image) == FileResult::Ok;
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QProcessEnvironment Env(std::initializer_list<std::pair<const char*, const char*>> vars) {
  QProcessEnvironment env;
  for (const auto& [name, value] : vars) env.insert(QString::fromLatin1(name), QString::fromLatin1(value));
  return env;
}

}  // namespace

class AppStartupTest final : public QObject {
  Q_OBJECT

 private slots:
  void commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("textHas");
    QTest::addColumn<QString>("file");
    const QString p = QStringLiteral("/usr/bin/mzr4700");
    QTest::newRow("nothing") << QStringList{p} << true << 0 << QString() << QString();
    QTest::newRow("file") << QStringList{p, QStringLiteral("hall 1.KVdat")} << true << 0 << QString()
                          << QStringLiteral("hall 1.KVdat");
    QTest::newRow("qt options stay Qt's")
        << QStringList{p, QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("-reverse"),
                       QStringLiteral("a.kvdat")}
        << true << 0 << QString() << QStringLiteral("a.kvdat");
    QTest::newRow("help") << QStringList{p, QStringLiteral("--help")} << false << 0
                          << QStringLiteral("Usage: mzr4700 [options] [FILE]") << QString();
    QTest::newRow("version") << QStringList{p, QStringLiteral("--version")} << false << 0
                             << QStringLiteral("mzr4700 1.0.1.3\n") << QString();
    QTest::newRow("short version") << QStringList{p, QStringLiteral("-v")} << false << 0
                                   << QStringLiteral("mzr4700 1.0.1.3\n") << QString();
    QTest::newRow("two files") << QStringList{p, QStringLiteral("a"), QStringLiteral("b")} << false << 2
                               << QStringLiteral("at most one project file") << QString();
    QTest::newRow("unknown option") << QStringList{p, QStringLiteral("--bogus")} << false << 2
                                    << QStringLiteral("'bogus'; see mzr4700 --help") << QString();
  }
  void commandLine() {
    QFETCH(QStringList, args);
    QFETCH(bool, starts);
    const CommandLineOutcome outcome = ParseCommandLine(args);
    QCOMPARE(outcome.start.has_value(), starts);
    if (starts) {
      QTEST(outcome.start->projectFile, "file");
      return;
    }
    QTEST(outcome.exitCode, "exitCode");
    QFETCH(QString, textHas);
    QVERIFY2(outcome.text.contains(textHas), qPrintable(outcome.text));
    QCOMPARE(outcome.toStdErr, outcome.exitCode != 0);
  }

  void missingDisplay_data() {
    QTest::addColumn<QProcessEnvironment>("env");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("refused");
    const QStringList none{QStringLiteral("mzr4700")};
    QTest::newRow("no display at all") << Env({}) << none << true;
    QTest::newRow("X11") << Env({{"DISPLAY", ":0"}}) << none << false;
    QTest::newRow("Wayland") << Env({{"WAYLAND_DISPLAY", "wayland-0"}}) << none << false;
    QTest::newRow("offscreen") << Env({{"QT_QPA_PLATFORM", "offscreen"}}) << none << false;
    QTest::newRow("xcb without DISPLAY") << Env({{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "w"}}) << none
                                         << true;
    QTest::newRow("wayland without WAYLAND_DISPLAY") << Env({{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":0"}})
                                                     << none << true;
    QTest::newRow("-platform offscreen wins")
        << Env({{"QT_QPA_PLATFORM", "xcb"}})
        << QStringList{QStringLiteral("mzr4700"), QStringLiteral("-platform"), QStringLiteral("offscreen")} << false;
  }
  void missingDisplay() {
    QFETCH(QProcessEnvironment, env);
    QFETCH(QStringList, args);
    QFETCH(bool, refused);
    const QString reason = MissingDisplay(env, args);
    QCOMPARE(!reason.isEmpty(), refused);
    if (refused) QVERIFY2(!reason.contains(QLatin1Char('\n')) && reason.startsWith(QLatin1String("mzr4700: ")),
                          qPrintable(reason));
  }

  void configFallsBackToTheUsersFolder() {
    QTemporaryDir programDir;
    QTemporaryDir home;
    QVERIFY(programDir.isValid() && home.isValid());
    const QString beside = QDir(programDir.path()).filePath(QStringLiteral("Config.ini"));
    const QString users = QDir(home.path()).filePath(QStringLiteral("mzr4700/Config.ini"));
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    // None beside the program: the user's, even before it exists.
    QCOMPARE(Config::ResolvePath(programDir.path()), users);
    // One beside a writable program folder is the program's own.
    QVERIFY(WriteBytes(beside, "[SysPara]\nsearchTime=900\n"));
    QCOMPARE(Config::ResolvePath(programDir.path()), beside);
    QCOMPARE(Config::Load(Config::ResolvePath(programDir.path())).searchTime, 900);
    // A relative XDG_CONFIG_HOME is not a base directory: ~/.config.
    qputenv("XDG_CONFIG_HOME", "relative/dir");
    QVERIFY(QFile::remove(beside));
    QCOMPARE(Config::ResolvePath(programDir.path()), QDir::homePath() + QStringLiteral("/.config/mzr4700/Config.ini"));
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(Config::ResolvePath(programDir.path()), QDir::homePath() + QStringLiteral("/.config/mzr4700/Config.ini"));
  }

  void configPassesOverAProgramFolderTheUserCannotWrite() {
    // An installed program's folder. Root writes everywhere, so this needs an ordinary user.
    if (geteuid() == 0) QSKIP("running as root: every folder is writable");
    QTemporaryDir programDir;
    QTemporaryDir home;
    QVERIFY(programDir.isValid() && home.isValid());
    const QString beside = QDir(programDir.path()).filePath(QStringLiteral("Config.ini"));
    const QString users = QDir(home.path()).filePath(QStringLiteral("mzr4700/Config.ini"));
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    QVERIFY(WriteBytes(beside, "[SysPara]\nsearchTime=900\n"));
    QVERIFY(QFile::setPermissions(programDir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const QString resolved = Config::ResolvePath(programDir.path());
    QFile::setPermissions(programDir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(resolved, users);
    qunsetenv("XDG_CONFIG_HOME");
  }

  void projectFileGivenAtStartOpensAsOpenDoes() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ParameterImage approved;
    approved.ApplyNewProjectDefaults();
    approved.setOutputLevel(2, 38);
    QCOMPARE(approved.SetText(TextField::theaterName, "Hall 7"), TextStoreResult::Stored);
    const QString good = dir.filePath(QStringLiteral("hall7.KVdat"));
    QVERIFY(Save(good, approved));
    const QString bad = dir.filePath(QStringLiteral("notes.KVdat"));
    QVERIFY(WriteBytes(bad, QByteArray("MZ not a project file")));

    Workspace workspace(LoopbackOptions());
    MainWindow window(workspace);
    window.show();
    ParameterImage defaults = window.image();
    window.files().OpenProjectFile(bad);
    QCOMPARE(window.statusBarPanels()->panelText(0), QStringLiteral("File Format Error!"));
    QVERIFY(window.image() == defaults);
    QVERIFY(!window.windowTitle().contains(QStringLiteral("notes")));

    window.files().OpenProjectFile(good);
    QCOMPARE(window.statusBarPanels()->panelText(0), QStringLiteral("Open File Success"));
    QVERIFY(window.image() == approved);
    QVERIFY2(window.windowTitle().endsWith(good), qPrintable(window.windowTitle()));
    QCOMPARE(window.files().OpenDialogFolder(), dir.path());

    // After New Project the dialog still starts where the last project came from.
    window.mainMenu()->item(QStringLiteral("N2"))->trigger();
    QVERIFY(window.image() != approved);
    QCOMPARE(window.files().OpenDialogFolder(), dir.path());
  }

  void qtTextsFollowTheLanguageMenu() {
    QtLanguage qtLanguage;
    if (!qtLanguage.chineseAvailable()) {
      QFAIL(qPrintable(QStringLiteral("Qt's Chinese translation is missing from %1 (Debian: qt6-translations-l10n)")
                           .arg(QLibraryInfo::path(QLibraryInfo::TranslationsPath))));
    }
    Workspace workspace(LoopbackOptions());
    MainWindow window(workspace);
    window.show();
    qtLanguage.Follow(window);
    const auto cancelText = [] {
      QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("t"),
                      QMessageBox::Ok | QMessageBox::Cancel);
      return box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&'));
    };
    QCOMPARE(cancelText(), QStringLiteral("取消"));  // the program starts in Chinese
    window.mainMenu()->item(QStringLiteral("Endlish1"))->trigger();
    QCOMPARE(cancelText(), QStringLiteral("Cancel"));
    window.mainMenu()->item(QStringLiteral("N24"))->trigger();
    QCOMPARE(cancelText(), QStringLiteral("取消"));
  }
};

QTEST_MAIN(AppStartupTest)
#include "AppStartupTest.moc"
