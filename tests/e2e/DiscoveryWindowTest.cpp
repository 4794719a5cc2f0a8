// The device list, connection, network settings and the File menu, end to end: the real
// main window (offscreen) with its local address 127.0.0.1 on a free port, and mzr4700-sim
// playing the units at 127.0.0.2, 127.0.0.3, ... Every datagram stays on 127.0.0.0/8. The
// simulator's frame log shows what reached the units.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTableWidget>
#include <QTimer>
#include <QImage>
#include <QTest>
#include <QToolButton>
#include <QUdpSocket>

#include "core/Config.h"
#include "files/ProjectFile.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "support/WindowFixture.h"
#include "ui/CaptionTable.h"
#include "ui/devices/DeviceListPanel.h"
#include "ui/devices/DeviceSession.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"
#include "ui/window/StatusBar.h"

using namespace mzr;
using mzr::test::SimProcess;
using mzr::test::U;
using mzr::test::WindowFixture;

namespace {

// The address of simulated unit k (0-based) and its MAC text.
QString UnitIp(int k) { return QStringLiteral("127.0.0.%1").arg(2 + k); }
QString UnitMac(int k) { return QStringLiteral("4C-32-7F-00-00-%1").arg(2 + k, 2, 16, QLatin1Char('0')).toUpper(); }

}  // namespace

class DiscoveryWindowTest final : public QObject {
  Q_OBJECT

 private:
  // A search time long enough for every simulated unit's reply to be handled before the
  // search ends, even on two busy cores under the sanitizers.
  WindowFixture m_f{1500};

  void StartSim(int units, const QStringList& extra = {}) {
    m_f.StartSim(QStringList{QStringLiteral("--units"), QString::number(units)} + extra);
  }
  SimProcess& sim() { return m_f.sim(); }
  void MakeWindow() { m_f.MakeWindow(); }
  MainWindow* window() { return &m_f.window(); }

  DeviceDiscovery& discovery() { return m_f.discovery(); }
  DeviceListPanel* panel() { return m_f.panel(); }
  QTableWidget* grid() { return m_f.grid(); }
  QString Status(int panel) { return m_f.Status(panel); }
  QString Cell(int row, int column) { return panel()->cellText(row, column); }
  template <typename T>
  T* Control(const char* name) {
    return m_f.Control<T>(name);
  }
  QAction* Item(const char* name) { return m_f.Item(name); }
  void SearchFromMenu() { m_f.SearchFromMenu(); }
  void SelectRow(int row) { m_f.SelectRow(row); }
  void DoubleClickRow(int row) { m_f.DoubleClickRow(row); }

  // Waits until the simulator has logged count frames and gives the ones after skip.
  QList<QJsonObject> LogAfter(qsizetype skip, qsizetype count) {
    [&] { QVERIFY2(sim().WaitForLogLines(skip + count), "the simulator logged fewer frames"); }();
    return sim().LogLines().mid(skip);
  }

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }

  void cleanup() { m_f.Reset(); }

  void searchListsEveryUnitWithEveryColumn() {
    StartSim(3);
    MakeWindow();
    SideChannel* drawer = window()->deviceListDrawer();
    QVERIFY(!drawer->isVisible());
    SearchFromMenu();

    QCOMPARE(Status(0), QStringLiteral("Search completed    find:3"));
    QVERIFY(drawer->isVisible());
    QVERIFY(drawer->isPinned());
    QCOMPARE(window()->link().remoteAddress(), QStringLiteral("127.255.255.255"));
    const QString port = QString::number(m_f.port());
    for (int k = 0; k < 3; ++k) {
      const int row = discovery().RowOf(UnitIp(k));
      QVERIFY2(row >= 1 && row <= 3, qPrintable(UnitIp(k)));
      const QStringList expected{QString::number(row), UnitIp(k), QStringLiteral("Hall %1").arg(k + 1),
                                 QString::number(k + 1), QStringLiteral("MZR4700"), UnitMac(k),
                                 QStringLiteral("255.0.0.0"), QStringLiteral("127.0.0.1"), port};
      for (int column = 0; column < 9; ++column) QCOMPARE(Cell(row, column), expected[column]);
    }
    for (int column = 1; column < 9; ++column) QVERIFY(Cell(4, column).isEmpty());
    const QStringList headers{QString(), U("IP"), U("电影厅名称"), U("银幕号"), U("设备型号"),
                              U("MAC"),  U("mask IP"), U("gateway"), U("UDPport")};
    for (int column = 0; column < 9; ++column) QCOMPARE(Cell(0, column), headers[column]);

    // Row 254 is selected at the end of the search: nothing to connect or change yet.
    QCOMPARE(grid()->currentRow(), 253);
    QVERIFY(!Control<QPushButton>("suiButton24")->isEnabled());
    QVERIFY(!Control<QPushButton>("suiButton26")->isEnabled());
    QVERIFY(Control<QLineEdit>("suiEdit1")->text().isEmpty());

    // One broadcast read of the whole image, heard by each unit.
    const QList<QJsonObject> log = LogAfter(0, 3);
    QCOMPARE(log.size(), 3);
    for (const QJsonObject& line : log) {
      QCOMPARE(line.value(QStringLiteral("to")).toString(), QStringLiteral("127.255.255.255"));
      QCOMPARE(line.value(QStringLiteral("command")).toInt(), 3);
      QCOMPARE(line.value(QStringLiteral("count")).toInt(), 852);
    }

    // The language switches the headers of columns 2 to 4 and the panel's captions only.
    window()->OnEnglishChosen();
    QCOMPARE(Cell(0, 2), U("Theater Name"));
    QCOMPARE(Cell(0, 4), U("EQU Model"));
    QCOMPARE(Cell(0, 6), U("mask IP"));
    QCOMPARE(Control<QPushButton>("suiButton26")->text(), U("Modify NET Info"));
    QCOMPARE(Status(0), QStringLiteral("Search completed    find:3"));
  }

  // The drawer's controls where the unit list is laid out, in drawer coordinates, and the
  // grid's column widths and colours.
  void theDeviceListIsLaidOutAsDesigned() {
    MakeWindow();
    SideChannel* drawer = window()->deviceListDrawer();
    drawer->ShowPinnedOpen();
    QTRY_COMPARE(drawer->geometry().size(), QSize(576, 536));
    const auto bounds = [&](const char* name) {
      QWidget* w = Control<QWidget>(name);
      return QRect(w->mapTo(drawer, QPoint(0, 0)), w->size());
    };
    QCOMPARE(bounds("suiImageButton1"), QRect(538, 32, 22, 22));
    QCOMPARE(bounds("suiStringGrid1"), QRect(24, 56, 537, 361));
    QCOMPARE(bounds("suiEdit1"), QRect(48, 440, 121, 19));
    QCOMPARE(bounds("suiEdit2"), QRect(259, 440, 121, 19));
    QCOMPARE(bounds("suiEdit3"), QRect(440, 440, 121, 19));
    QCOMPARE(bounds("suiButton24"), QRect(112, 486, 105, 27));
    QCOMPARE(bounds("suiButton25"), QRect(265, 486, 80, 27));
    QCOMPARE(bounds("suiButton26"), QRect(393, 486, 112, 27));
    QCOMPARE(bounds("Label1").topLeft(), QPoint(24, 443));

    QCOMPARE(grid()->rowCount(), 254);  // row 0 is the header
    QCOMPARE(grid()->columnCount(), 8);  // column 0 is the row-number header
    QCOMPARE(grid()->verticalHeader()->width(), 92);
    const QList<int> widths{93, 108, 96, 91, 99, 92, 92, 73};
    for (int column = 0; column < 8; ++column) QCOMPARE(grid()->columnWidth(column), widths[column]);
    QCOMPARE(grid()->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(grid()->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(grid()->showGrid());
    QCOMPARE(grid()->palette().color(QPalette::Base), QColor(231, 231, 231));
    QCOMPARE(grid()->palette().color(QPalette::Highlight), QColor(0, 128, 0));
    // Blue header sections with white captions.
    const QImage header = grid()->horizontalHeader()->grab().toImage();
    QCOMPARE(header.pixelColor(5, header.height() / 2), QColor(57, 115, 196));
    QVERIFY(Control<QPushButton>("suiButton24")->isEnabled());
    QVERIFY(!Control<QPushButton>("suiButton26")->isEnabled());
    QVERIFY(!discovery().searching());
  }

  void aUnitAnsweringTwiceIsListedOnce() {
    StartSim(2);
    MakeWindow();
    SearchFromMenu();
    QCOMPARE(discovery().devicesFound(), 2);
    const int row = discovery().RowOf(UnitIp(1));
    const QString macBefore = Cell(row, 5);

    // Unit 2's reply again, from another loopback address and with another MAC, then a
    // marker reply from a unit not seen yet: once the marker is listed, the duplicate
    // before it has been handled.
    ParameterImage twin;
    twin.ApplyNewProjectDefaults();
    twin.setIpAddress({127, 0, 0, 3});
    twin.setMacAddress({0xDE, 0xAD, 0, 0, 0, 1});
    ParameterImage marker = twin;
    marker.setIpAddress({127, 0, 0, 99});
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress(QStringLiteral("127.0.0.77")), 0));
    for (const ParameterImage* image : {&twin, &marker}) {
      const frame::Bytes reply = frame::BuildReadReply(0, image->All());
      other.writeDatagram(reinterpret_cast<const char*>(reply.data()), static_cast<qint64>(reply.size()),
                          QHostAddress(QStringLiteral("127.0.0.1")), m_f.port());
    }
    QTRY_COMPARE(Cell(3, 1), QStringLiteral("127.0.0.99"));
    QCOMPARE(discovery().devicesFound(), 3);
    QCOMPARE(discovery().RowOf(UnitIp(1)), row);
    QCOMPARE(Cell(row, 5), macBefore);
    int listed = 0;
    for (int r = 1; r <= 254; ++r) listed += Cell(r, 1) == UnitIp(1) ? 1 : 0;
    QCOMPARE(listed, 1);
  }

  void aSmallerSearchKeepsTheOldMaskGatewayAndPort() {
    StartSim(3);
    MakeWindow();
    SearchFromMenu();
    const QStringList row3{Cell(3, 6), Cell(3, 7), Cell(3, 8)};
    QCOMPARE(row3, (QStringList{QStringLiteral("255.0.0.0"), QStringLiteral("127.0.0.1"), QString::number(m_f.port())}));

    StartSim(2);
    SearchFromMenu();
    QCOMPARE(Status(0), QStringLiteral("Search completed    find:2"));
    QVERIFY(!Cell(2, 1).isEmpty());
    for (int column = 1; column <= 5; ++column) QVERIFY2(Cell(3, column).isEmpty(), qPrintable(Cell(3, column)));
    QCOMPARE((QStringList{Cell(3, 6), Cell(3, 7), Cell(3, 8)}), row3);
    // That row is not listed: it can be neither connected nor changed.
    SelectRow(3);
    QVERIFY(!Control<QPushButton>("suiButton24")->isEnabled());
    QVERIFY(!Control<QPushButton>("suiButton26")->isEnabled());
    QVERIFY(Control<QLineEdit>("suiEdit1")->text().isEmpty());
  }

  void connectingSendsNothingAndShowsTheUnitsSettings() {
    // Unit 2 starts from a stored image that differs from the program's defaults.
    QTemporaryDir state;
    QVERIFY(state.isValid());
    ParameterImage stored;
    stored.ApplyNewProjectDefaults();
    stored.setInputSource(2);
    stored.setFaderLevel(2, 33);
    stored.setFadeTime(4);
    stored.setSubnetMask({255, 255, 0, 0});
    stored.setGateway({127, 0, 0, 7});
    QCOMPARE(stored.SetText(TextField::theaterName, "放映厅B"), TextStoreResult::Stored);
    QCOMPARE(SaveProjectFile(QDir(state.path()).filePath(UnitMac(1) + QStringLiteral(".kvdat")).toStdString(), stored),
             FileResult::Ok);
    StartSim(3, {QStringLiteral("--state-dir"), state.path()});
    MakeWindow();
    SearchFromMenu();
    const qsizetype framesBefore = sim().LogLines().size();

    // A double click on an empty row does nothing, even after a unit was selected.
    const int row = discovery().RowOf(UnitIp(1));
    SelectRow(row);
    QCOMPARE(Cell(row, 2), U("放映厅B"));
    QCOMPARE(Control<QLineEdit>("suiEdit1")->text(), UnitIp(1));
    QCOMPARE(Control<QLineEdit>("suiEdit2")->text(), QStringLiteral("255.255.0.0"));
    QCOMPARE(Control<QLineEdit>("suiEdit3")->text(), QStringLiteral("127.0.0.7"));
    DoubleClickRow(10);
    QCOMPARE(window()->state().connected, 0);
    QVERIFY(window()->deviceListDrawer()->isVisible());
    QVERIFY(!Control<QPushButton>("suiButton24")->isEnabled());

    DoubleClickRow(row);
    QCOMPARE(window()->state().connected, 1);
    QVERIFY(!window()->deviceListDrawer()->isVisible());
    QCOMPARE(Status(0), QStringLiteral("System Connected    IP:127.0.0.3"));
    QCOMPARE(Status(1), U("已连接"));
    QCOMPARE(window()->link().remoteAddress(), UnitIp(1));
    QCOMPARE(window()->image().inputSource(), 2);
    QCOMPARE(window()->image().Text(TextField::theaterName), std::string("放映厅B"));
    QVERIFY(Item("N7")->isChecked());
    QCOMPARE(Control<QSlider>("suiTrackBar14")->value(), 33);
    QCOMPARE(Control<QComboBox>("ComboBox1")->currentIndex(), 4);

    // The next frame the unit hears is the restart asked for now: connecting sent none.
    Item("N27")->trigger();
    const QList<QJsonObject> after = LogAfter(framesBefore, 1);
    QCOMPARE(after.size(), 1);
    QCOMPARE(after[0].value(QStringLiteral("to")).toString(), UnitIp(1));
    QCOMPARE(after[0].value(QStringLiteral("address")).toInt(), 3001);
  }

  void searchingWhileConnectedReturnsToTheUnit() {
    StartSim(3);
    MakeWindow();
    SearchFromMenu();
    SelectRow(discovery().RowOf(UnitIp(0)));
    QTest::mouseClick(Control<QPushButton>("suiButton24"), Qt::LeftButton);
    QCOMPARE(window()->state().connected, 1);

    QSignalSpy completed(&discovery(), &DeviceDiscovery::searchCompleted);
    Control<QToolButton>("suiImageButton1")->click();
    QCOMPARE(window()->link().remoteAddress(), QStringLiteral("127.255.255.255"));
    QVERIFY(completed.wait(10000));
    QCOMPARE(window()->link().remoteAddress(), UnitIp(0));
    QCOMPARE(window()->state().connected, 1);

    // Download all reaches that unit only: the whole image, then the store command.
    const qsizetype before = sim().LogLines().size();
    Item("N20")->trigger();
    QTRY_COMPARE(Status(0), QStringLiteral("DownLoad Success"));
    const QList<QJsonObject> frames = LogAfter(before, 2);
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0].value(QStringLiteral("command")).toInt(), 16);
    QCOMPARE(frames[0].value(QStringLiteral("count")).toInt(), 852);
    QCOMPARE(frames[1].value(QStringLiteral("address")).toInt(), 3000);
    for (const QJsonObject& frame : frames) QCOMPARE(frame.value(QStringLiteral("to")).toString(), UnitIp(0));

    Item("N18")->trigger();
    QCOMPARE(window()->state().connected, 0);
    QCOMPARE(Status(0), QStringLiteral("DisConnected"));
    QCOMPARE(Status(1), U("未连接"));
    QCOMPARE(window()->link().remoteAddress(), UnitIp(0));  // the destination stays
  }

  void newNetworkSettingsMoveTheUnitAndDisconnect() {
    StartSim(3);
    MakeWindow();
    SearchFromMenu();
    const int row = discovery().RowOf(UnitIp(0));
    SelectRow(row);
    QTest::mouseClick(Control<QPushButton>("suiButton24"), Qt::LeftButton);
    QCOMPARE(window()->state().connected, 1);

    window()->deviceListDrawer()->ShowPinnedOpen();
    SelectRow(row);
    Control<QLineEdit>("suiEdit1")->setText(QStringLiteral("127.0.0.50"));
    const qsizetype before = sim().LogLines().size();
    QSignalSpy started(&discovery(), &DeviceDiscovery::searchStarted);
    QSignalSpy completed(&discovery(), &DeviceDiscovery::searchCompleted);
    QTest::mouseClick(Control<QPushButton>("suiButton26"), Qt::LeftButton);
    QVERIFY(started.wait(10000));
    QCOMPARE(window()->state().connected, 0);
    QCOMPARE(Status(0), QStringLiteral("DisConnected"));
    QCOMPARE(Status(1), U("未连接"));
    QVERIFY(completed.wait(10000));
    QCOMPARE(Status(0), QStringLiteral("Search completed    find:3"));
    QVERIFY(discovery().RowOf(QStringLiteral("127.0.0.50")) != 0);
    QCOMPARE(discovery().RowOf(UnitIp(0)), 0);
    QCOMPARE(window()->link().remoteAddress(), QStringLiteral("127.255.255.255"));
    QVERIFY(m_f.messages().isEmpty());

    // The write went to the connected unit: 12 bytes at 138.
    const QList<QJsonObject> frames = LogAfter(before, 1);
    QCOMPARE(frames[0].value(QStringLiteral("to")).toString(), UnitIp(0));
    QCOMPARE(frames[0].value(QStringLiteral("command")).toInt(), 6);
    QCOMPARE(frames[0].value(QStringLiteral("address")).toInt(), 138);
    QCOMPARE(frames[0].value(QStringLiteral("count")).toInt(), 12);
  }

  void emptyAndInvalidFieldsShowTheirMessageAndSendNothing() {
    StartSim(3);
    MakeWindow();
    SearchFromMenu();
    const int row = discovery().RowOf(UnitIp(1));
    const QString otherIp = UnitIp(2);
    struct Case {
      QString ip, mask, gateway;
      QString message;
      bool errorIcon;
    };
    const QString ip = UnitIp(1), mask = QStringLiteral("255.0.0.0"), gateway = QStringLiteral("127.0.0.1");
    const QList<Case> cases{
        {QString(), mask, gateway, U("IP设置错误"), true},
        {QStringLiteral("127.0.0.256"), mask, gateway, U("输入IP有误"), false},
        {otherIp, mask, gateway, U("重复IP"), true},
        {QStringLiteral("127.0.0.20"), QString(), gateway, U("子网掩码设置错误"), true},
        {QStringLiteral("127.0.0.20"), QStringLiteral("255.255.255.255"), gateway, U("输入IP有误"), false},
        {QStringLiteral("127.0.0.20"), mask, QString(), U("网关设置错误"), true},
        {QStringLiteral("127.0.0.20"), mask, QStringLiteral("gate"), U("输入IP有误"), false},
    };
    const qsizetype before = sim().LogLines().size();
    for (const Case& c : cases) {
      SelectRow(row);
      Control<QLineEdit>("suiEdit1")->setText(c.ip);
      Control<QLineEdit>("suiEdit2")->setText(c.mask);
      Control<QLineEdit>("suiEdit3")->setText(c.gateway);
      m_f.ClearMessages();
      QTest::mouseClick(Control<QPushButton>("suiButton26"), Qt::LeftButton);
      QCOMPARE(m_f.messages().size(), 1);
      QCOMPARE(m_f.messages()[0].text, c.message);
      QCOMPARE(m_f.messages()[0].errorIcon, c.errorIcon);
    }
    QCOMPARE(ErrorCaption(), U("错误"));
    // Connecting to the row still uses the unit's real address: no refused field was kept.
    SelectRow(row);
    QCOMPARE(Control<QLineEdit>("suiEdit1")->text(), ip);

    // The next frame the units hear is this valid change: the refused ones sent nothing.
    Control<QLineEdit>("suiEdit2")->setText(QStringLiteral("255.255.0.0"));
    QTest::mouseClick(Control<QPushButton>("suiButton26"), Qt::LeftButton);
    const QList<QJsonObject> frames = LogAfter(before, 1);
    QCOMPARE(frames[0].value(QStringLiteral("address")).toInt(), 138);
    QCOMPARE(frames[0].value(QStringLiteral("count")).toInt(), 12);
    QCOMPARE(frames[0].value(QStringLiteral("to")).toString(), ip);  // the selected unit only
  }

  // The open and save dialogs offer project files and add their extension; cancelling
  // either gives no path.
  void fileDialogsOfferProjectFiles() {
    for (const bool save : {false, true}) {
      QStringList filters;
      QString suffix;
      int mode = -1;
      QTimer poll;
      connect(&poll, &QTimer::timeout, this, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        poll.stop();
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        mode = dialog->acceptMode();
        dialog->reject();
      });
      poll.start(10);
      const QString path = save ? ProjectFileCommands::AskSavePath(nullptr) : ProjectFileCommands::AskOpenPath(nullptr);
      QVERIFY(path.isEmpty());
      QCOMPARE(filters, QStringList{QStringLiteral("*.kvdat (*.kvdat)")});
      QCOMPARE(suffix, QStringLiteral("kvdat"));
      QCOMPARE(mode, int(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen));
    }
  }

  void fileMenuOpensAndSavesWithItsTextsAndCaptions() {
    MakeWindow();
    ProjectFileCommands& files = window()->files();
    QString nextPath;
    files.setPathProvider({[&] { return nextPath; }, [&] { return nextPath; }});
    const QString title0 = CaptionTable::Text(0, 0);
    const QString untitled = title0 + QStringLiteral("   Untitle.KVdat");
    ParameterImage& image = window()->image();

    // Save As writes the image and takes the new name into the caption; no status text.
    const QString a = m_f.Path(QStringLiteral("a.kvdat"));
    image.setFaderLevel(0, 12);
    nextPath = a;
    Item("N5")->trigger();
    QCOMPARE(window()->windowTitle(), title0 + QStringLiteral("   ") + a);
    QCOMPARE(Status(0), QString());
    const auto encoded = EncodeProjectFile(image);
    QFile saved(a);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray(reinterpret_cast<const char*>(encoded.data()), qsizetype(encoded.size())));
    saved.close();

    // Save writes to that name again.
    image.setFaderLevel(0, 44);
    Item("N4")->trigger();
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(static_cast<std::uint8_t>(saved.readAll().at(11 + addr::faderLevel)), std::uint8_t{44});
    saved.close();

    // New Project: defaults, the short caption form with "Untitle.KVdat".
    Item("N2")->trigger();
    QCOMPARE(window()->windowTitle(), untitled);
    QCOMPARE(image.faderLevel(0), 70);

    // Cancelling either dialog changes nothing, not even the status bar.
    nextPath.clear();
    Item("N3")->trigger();
    Item("N5")->trigger();
    QCOMPARE(Status(0), QString());
    QCOMPARE(window()->windowTitle(), untitled);

    // Failed opens leave image, name and caption as they were.
    const ParameterImage before = image;
    QFile bad(m_f.Path(QStringLiteral("bad.kvdat")));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray("MZR4700DAX") + QByteArray(853, '\0'));
    bad.close();
    nextPath = bad.fileName();
    Item("N3")->trigger();
    QCOMPARE(Status(0), QStringLiteral("File Format Error!"));
    nextPath = m_f.Path(QStringLiteral("missing.kvdat"));
    Item("N3")->trigger();
    QCOMPARE(Status(0), QStringLiteral("Can't open this file!"));
    QVERIFY(image == before);
    QCOMPARE(window()->windowTitle(), untitled);

    // A failed Save As keeps the name.
    nextPath = m_f.Path(QStringLiteral("no-such-folder/b.kvdat"));
    Item("N5")->trigger();
    QCOMPARE(Status(0), QStringLiteral("Can't write this file!"));
    QCOMPARE(window()->windowTitle(), untitled);

    // Open loads the file, names it in the caption and refreshes the editors.
    nextPath = a;
    Item("N3")->trigger();
    QCOMPARE(Status(0), QStringLiteral("Open File Success"));
    QCOMPARE(window()->windowTitle(), title0 + QStringLiteral("   ") + a);
    QCOMPARE(image.faderLevel(0), 44);
    QCOMPARE(Control<QSlider>("suiTrackBar14")->value(), 44);
    QCOMPARE(window()->state().refreshing, 0);
  }
};

QTEST_MAIN(DiscoveryWindowTest)
#include "DiscoveryWindowTest.moc"
