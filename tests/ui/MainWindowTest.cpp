// The main window as the user meets it: captions in both languages, menus and shortcuts,
// start-up state, window caption forms, the logo long press and the status bar. Controls
// are found by their names, as the program knows them.

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QComboBox>
#include <QFile>
#include <QRawFont>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPixmapCache>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>

#include <cstdlib>

#include "support/WindowFixture.h"
#include "ui/CaptionTable.h"
#include "ui/dialogs/DeviceInfoDialog.h"
#include "ui/devices/DeviceListPanel.h"
#include "ui/devices/DeviceSession.h"
#include "ui/dialogs/EqCopyDialog.h"
#include "ui/equalizer/EqualizerPage.h"
#include "ui/equalizer/MonitorPanel.h"
#include "ui/equalizer/SubwooferPanel.h"
#include "ui/input/InputSection.h"
#include "ui/input/InputDrawer.h"
#include "ui/output/OutputDrawer.h"
#include "workspace/EditHistory.h"
#include "workspace/Workspace.h"
#include "ui/window/LogoImage.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"
#include "ui/SkinRole.h"
#include "ui/SkinStyle.h"
#include "ui/window/StatusBar.h"
#include "ui/dialogs/TheaterProfileDialog.h"

using namespace mzr;
using mzr::test::U;
using mzr::test::WindowFixture;

namespace {

struct Expected {
  const char* name;
  const char* chinese;
  const char* english;
};

// Menu items and their captions as the user reads them.
const Expected kMenuCaptions[] = {
    {"N1", "  文件  ", "  File  "},
    {"N2", "新建项目", "New Project"},
    {"N3", "打开项目", "Open Project"},
    {"N4", "保存项目", "Save Project"},
    {"N5", "另存为  ", "Save as..."},
    {"N21", "读取设备数据", "Load From MZR4700"},
    {"N20", "下载设备数据", "Download To MZR4700"},
    {"N27", "重新启动设备", "Restart MZR4700"},
    {"UndoItem", "撤销", "Undo"},
    {"RedoItem", "重做", "Redo"},
    {"CompareItem", "比较...", "Compare..."},
    {"EQ1", "  格式  ", "  Format  "},
    {"N81", "数字光纤1", "Digital Opt 1"},
    {"N82", "数字光纤2", "Digital Opt 2"},
    {"N7", "数字同轴1", "Digital COAX 1"},
    {"N8", "数字同轴2", "Digital COAX 2"},
    {"N9", "麦克风", "MIC"},
    {"EQ2", "EQ参数", "   EQ   "},
    {"EQ3", "复制EQ", "Copy EQ..."},
    {"AlignItem", "房间均衡对准...", "Align to Target..."},
    {"N10", " 通讯 ", "  Communication  "},
    {"N17", "连接设备", "Connect"},
    {"N18", "断开设备", "DisConnect"},
    {"N11", "开机格式", "  Power on Format  "},
    {"N83", "数字光纤1", "Digital OPT 1"},
    {"N84", "数字光纤2", "Digital OPT 2"},
    {"N12", "数字同轴1", "Digital COAX 1"},
    {"N13", "数字同轴2", "Digital COAX 2"},
    {"N14", "麦克风", "MIC"},
    {"N15", "保持上次", "Last Selected"},
    {"N28", " 主音箱 ", " SPEAKER PARA "},
    {"N22", "  概要文件  ", "  Profile  "},
    {"N23", "语言", "Language"},
    {"N24", "中文", "中文"},
    {"Endlish1", "English", "English"},
};

// Buttons and labels of the window.
const Expected kControlCaptions[] = {
    {"suiButton1", "数字光纤1输入", "Digital OPT 1"},
    {"suiButton2", "数字光纤2输入", "Digital OPT 2"},
    {"suiButton3", "数字同轴1输入", "Digital COAX 1"},
    {"suiButton4", "数字同轴2输入", "Digital COAX 2"},
    {"suiButton5", "麦克风输入", "MIC"},
    {"suiButton23", "静音", " Mute "},
    {"StaticText29", "主音量", "Main Fader"},
    {"Label1", "IP", "IP"},
    {"Label2", "子网掩码", "Subnet Mask"},
    {"Label3", "网关", "Gateway"},
    {"suiButton24", "连接所选设备", "Connect Equipment"},
    {"suiButton25", "返回", "Return"},
    {"suiButton26", "修改设备网络参数", "Modify NET Info"},
};

// Header row of the device list, columns 1 to 8; only columns 2 to 4 follow the language.
const char* const kGridHeaders[2][8] = {
    {"IP", "电影厅名称", "银幕号", "设备型号", "MAC", "mask IP", "gateway", "UDPport"},
    {"IP", "Theater Name", "Screen Number", "EQU Model", "MAC", "mask IP", "gateway", "UDPport"},
};

const Expected kDrawerCaptions[] = {
    {"suiSideChannel1", "格式（输入设置）", "Format(Input Setup)"},
    {"suiSideChannel2", "输出设置", "Output Setup"},
    {"suiSideChannel3", "设备列表", "Equipment List"},
};

const char* const kTabs[2][7] = {
    {"    左    ", "    中    ", "    右    ", "  左环绕  ", "  右环绕  ", "  次低频  ", " 监听输出 "},
    {"Left", "Center", "Right", "Left Surround", "Right Surround", "Subwoofer", "Monitor"},
};

// Every text on screen that a language change may touch, keyed by where it shows.
QMap<QString, QString> VisibleTexts(WindowFixture& f) {
  MainWindow& w = f.window();
  // The parts made on first use, made now: the drawers' contents and the compare dialog.
  f.MakeDrawerContents();
  w.compareDialog();
  QMap<QString, QString> texts;
  texts.insert(QStringLiteral("window"), w.windowTitle());
  for (QAction* a : w.menuBar()->findChildren<QAction*>())
    if (!a->objectName().isEmpty()) texts.insert(QStringLiteral("action:") + a->objectName(), a->text());
  for (QAbstractButton* b : w.findChildren<QAbstractButton*>())
    if (!b->objectName().isEmpty()) texts.insert(QStringLiteral("button:") + b->objectName(), b->text());
  for (QLabel* l : w.findChildren<QLabel*>())
    texts.insert(QStringLiteral("label:") + l->objectName() + l->parent()->objectName(), l->text());
  auto* fade = f.Control<QComboBox>("ComboBox1");
  for (int i = 0; i < fade->count(); ++i) texts.insert(QStringLiteral("fade:%1").arg(i), fade->itemText(i));
  texts.insert(QStringLiteral("fade:current"), fade->currentText());
  for (int i = 0; i < w.equalizerPage()->count(); ++i)
    texts.insert(QStringLiteral("tab:%1").arg(i), w.equalizerPage()->tabText(i));
  for (int c = 1; c <= 8; ++c)
    texts.insert(QStringLiteral("grid:%1").arg(c), w.deviceSession()->panel()->cellText(0, c));
  for (SideChannel* d : w.findChildren<SideChannel*>()) texts.insert(QStringLiteral("drawer:") + d->objectName(), d->caption());
  for (QDialog* d : w.findChildren<QDialog*>()) texts.insert(QStringLiteral("dialog:") + d->objectName(), d->windowTitle());
  return texts;
}

}  // namespace

class MainWindowTest final : public QObject {
  Q_OBJECT

  WindowFixture m_f;

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }
  void cleanup() { m_f.Reset(); }

  void startsAsAFreshProgram() {
    MainWindow& w = m_f.MakeWindow();
    QCOMPARE(w.objectName(), U("Form1"));
    QCOMPARE(w.state().languageIndex, 0);
    QCOMPARE(w.state().connected, 0);
    QCOMPARE(w.state().refreshing, 0);
    QCOMPARE(w.state().networkMode, 0);
    QCOMPARE(w.state().selectedChannel, 0);
    QCOMPARE(QString::fromStdString(w.document().currentName().string()), U("Untitle.KVdat"));
    ParameterImage defaults;
    defaults.ApplyNewProjectDefaults();
    QVERIFY(w.image() == defaults);
    QVERIFY(w.exeDir().endsWith(QLatin1Char('/')));

    // The dialogs exist from the start, hidden, owned by the window.
    QWidget* dialogs[] = {w.eqCopyDialog(), w.profileDialog(), w.deviceInfoDialog()};
    const char* names[] = {"Form4", "Form5", "Form8"};
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(dialogs[i]->objectName(), U(names[i]));
      QVERIFY(!dialogs[i]->isVisible());
      QCOMPARE(dialogs[i]->parentWidget(), &w);
    }
    QCOMPARE(w.deviceInfoDialog()->windowTitle(), U("序列码写入器"));
    QCOMPARE(w.eqCopyDialog()->size(), QSize(444, 244));
    QCOMPARE(w.profileDialog()->size(), QSize(704, 336));
    QCOMPARE(w.deviceInfoDialog()->size(), QSize(244, 105));

    QVERIFY(!w.deviceListDrawer()->isVisible());
    QVERIFY(!w.deviceListDrawer()->isPinnable());
    for (SideChannel* drawer : {w.inputDrawer(), w.outputDrawer()}) {
      QVERIFY(drawer->isPinnable());
      QVERIFY(!drawer->isPinned());
      QVERIFY(!drawer->isOpen());
      QCOMPARE(drawer->width(), SideChannel::kBarWidth);
    }
    QCOMPARE(w.timer1().interval(), 100);
    QVERIFY(!w.timer1().isActive());
  }

  void regionsSitAtTheirBounds() {
    MainWindow& w = m_f.MakeWindow();
    QCOMPARE(w.size(), QSize(946, 605));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(w.menuBar()->geometry(), QRect(0, 0, 946, 21));
    struct Bounds {
      const char* name;
      QRect rect;
    };
    const Bounds bounds[] = {
        {"Image2", {759, 46, 138, 44}},        {"suiButton1", {21, 83, 120, 64}},
        {"suiButton2", {21, 182, 120, 64}},    {"suiButton3", {21, 281, 120, 64}},
        {"suiButton4", {21, 380, 120, 64}},    {"suiButton5", {21, 480, 120, 64}},
        {"suiTabControl1", {161, 85, 769, 457}}, {"ComboBox1", {32, 552, 97, 21}},
        {"suiButton23", {153, 549, 75, 25}},   {"StaticText29", {232, 552, 68, 20}},
        {"suiTrackBar14", {304, 550, 545, 20}}, {"StaticText30", {858, 550, 36, 24}},
        {"suiStatusBar1", {0, 586, 946, 19}},
    };
    for (const Bounds& b : bounds) {
      QWidget* widget = m_f.Control<QWidget>(b.name);
      const QRect actual(widget->mapTo(&w, QPoint(0, 0)), widget->size());
      QVERIFY2(actual == b.rect, b.name);
    }
    QCOMPARE(m_f.Control<QLabel>("panel0")->width(), 600);
    QCOMPARE(m_f.Control<QLabel>("panel1")->width(), 100);
    QCOMPARE(w.equalizerPage()->count(), 7);
    QCOMPARE(w.equalizerPage()->graphSlot()->size(), QSize(634, 195));

    // The drawers' open bounds and their collapsed bars on the window edges.
    w.inputDrawer()->setPinned(true);
    w.outputDrawer()->setPinned(true);
    w.deviceListDrawer()->ShowPinnedOpen();
    QTRY_COMPARE(w.deviceListDrawer()->width(), 576);
    const Bounds drawers[] = {{"suiSideChannel1", {0, 50, 297, 536}},
                              {"suiSideChannel2", {296, 50, 650, 536}},
                              {"suiSideChannel3", {297, 50, 576, 536}}};
    for (const Bounds& b : drawers) {
      QWidget* widget = m_f.Control<QWidget>(b.name);
      QVERIFY2(QRect(widget->mapTo(&w, QPoint(0, 0)), widget->size()) == b.rect, b.name);
    }
  }

  void captionsFollowTheLanguage() {
    MainWindow& w = m_f.MakeWindow();
    for (int language = 0; language < 2; ++language) {
      if (language == 1) m_f.Item("Endlish1")->trigger();
      QCOMPARE(w.state().languageIndex, language);
      for (const Expected& e : kMenuCaptions)
        QVERIFY2(m_f.Item(e.name)->text() == U(language == 0 ? e.chinese : e.english), e.name);
      for (const Expected& e : kControlCaptions) {
        QWidget* c = m_f.Control<QWidget>(e.name);
        const QString text = qobject_cast<QAbstractButton*>(c) ? static_cast<QAbstractButton*>(c)->text()
                                                               : static_cast<QLabel*>(c)->text();
        QVERIFY2(text == U(language == 0 ? e.chinese : e.english), e.name);
      }
      for (const Expected& e : kDrawerCaptions)
        QVERIFY2(m_f.Control<SideChannel>(e.name)->caption() == U(language == 0 ? e.chinese : e.english), e.name);
      for (int t = 0; t < 7; ++t) QCOMPARE(w.equalizerPage()->tabText(t), U(kTabs[language][t]));
      for (int c = 1; c <= 8; ++c)
        QCOMPARE(w.deviceSession()->panel()->cellText(0, c), U(kGridHeaders[language][c - 1]));
      auto* fade = m_f.Control<QComboBox>("ComboBox1");
      QCOMPARE(fade->count(), 10);
      for (int i = 0; i < 10; ++i)
        QCOMPARE(fade->itemText(i), language == 0 ? U("淡入淡出%1秒").arg(i + 1) : U("Fade Time %1S").arg(i + 1));
      QCOMPARE(w.eqCopyDialog()->windowTitle(), language == 0 ? U("复制EQ参数") : U("Copy EQ Settings"));
      QCOMPARE(w.profileDialog()->windowTitle(), language == 0 ? U("概述文件") : U("Profile"));
      QCOMPARE(w.deviceInfoDialog()->windowTitle(), U("序列码写入器"));
    }
  }

  void switchingBackRestoresTheFirstDisplay() {
    MainWindow& w = m_f.MakeWindow();
    const QMap<QString, QString> first = VisibleTexts(m_f);
    const ParameterImage imageBefore = w.image();
    m_f.Item("Endlish1")->trigger();
    const QMap<QString, QString> english = VisibleTexts(m_f);
    QCOMPARE(english.keys(), first.keys());
    QVERIFY(english != first);
    m_f.Item("N24")->trigger();
    QCOMPARE(w.state().languageIndex, 0);
    QCOMPARE(VisibleTexts(m_f), first);
    // Choosing the language in use again changes nothing; no switch touches the image.
    m_f.Item("N24")->trigger();
    QCOMPARE(VisibleTexts(m_f), first);
    QVERIFY(w.image() == imageBefore);
    // The Language items never carry a check mark.
    QVERIFY(!m_f.Item("N24")->isCheckable());
    QVERIFY(!m_f.Item("Endlish1")->isCheckable());
  }

  void fadeTimeSelectionSurvivesASwitch() {
    MainWindow& w = m_f.MakeWindow();
    w.image().setFadeTime(4);
    m_f.Item("Endlish1")->trigger();
    QCOMPARE(m_f.Control<QComboBox>("ComboBox1")->currentText(), U("Fade Time 5S"));
    w.image().setFadeTime(12);  // no such fade time: no item is shown as chosen
    m_f.Item("N24")->trigger();
    QCOMPARE(m_f.Control<QComboBox>("ComboBox1")->currentIndex(), -1);
  }

  void windowCaptionForms() {
    WindowFixture::Settings hidden;
    hidden.show = false;
    MainWindow& w = m_f.MakeWindow(hidden);
    // Before the first display the caption is the project form set by New Project.
    QCOMPARE(w.windowTitle(), CaptionTable::Text(0, 0) + U("   Untitle.KVdat"));
    w.show();
    QCOMPARE(w.windowTitle(), CaptionTable::Text(0, 0) + U("1.0.1.3  FOR MZR4700   Untitle.KVdat"));
    QVERIFY(CaptionTable::Text(0, 0).endsWith(QLatin1Char('V')));
    QVERIFY(CaptionTable::Text(0, 1).endsWith(QLatin1Char('V')));
    m_f.Item("Endlish1")->trigger();
    QCOMPARE(w.windowTitle(), CaptionTable::Text(0, 1) + U("1.0.1.3  FOR MZR4700   Untitle.KVdat"));
    w.NewProject();
    QCOMPARE(w.windowTitle(), CaptionTable::Text(0, 1) + U("   Untitle.KVdat"));
  }

  void menusHaveTheirShapeAndState() {
    MainWindow& w = m_f.MakeWindow();
    QStringList topLevel;
    for (QAction* a : w.menuBar()->actions()) topLevel << a->objectName();
    QCOMPARE(topLevel, (QStringList{U("N1"), U("EQ1"), U("EQ2"), U("N10"), U("N11"), U("N28"), U("N22"), U("N23")}));

    // Separators and the speaker item are always disabled; the speaker item never opens.
    for (const char* name : {"N19", "N26", "N28"}) QVERIFY2(!m_f.Item(name)->isEnabled(), name);
    QVERIFY(m_f.Item("N28")->menu() == nullptr);
    QVERIFY(m_f.Item("N22")->menu() == nullptr);
    // Undo and Redo wait for an edit; every other item is enabled.
    for (const Expected& e : kMenuCaptions) {
      const bool history = qstrcmp(e.name, "UndoItem") == 0 || qstrcmp(e.name, "RedoItem") == 0;
      if (qstrcmp(e.name, "N28") != 0) QVERIFY2(m_f.Item(e.name)->isEnabled() == !history, e.name);
    }

    // Every drop-down menu with its items in order.
    const QMap<QString, QStringList> order = {
        {U("N1"),
         {U("N2"), U("N3"), U("N4"), U("N5"), U("N19"), U("N21"), U("N20"), U("N26"), U("N27"), U("UndoSeparator"),
          U("UndoItem"), U("RedoItem"), U("CompareSeparator"), U("CompareItem")}},
        {U("EQ1"), {U("N81"), U("N82"), U("N7"), U("N8"), U("N9")}},
        {U("EQ2"), {U("EQ3"), U("AlignItem")}},
        {U("N10"), {U("N17"), U("N18")}},
        {U("N11"), {U("N83"), U("N84"), U("N12"), U("N13"), U("N14"), U("N15")}},
        {U("N23"), {U("N24"), U("Endlish1")}},
    };
    for (auto it = order.cbegin(); it != order.cend(); ++it) {
      QStringList names;
      for (QAction* a : m_f.Item(it.key().toUtf8().constData())->menu()->actions()) names << a->objectName();
      QCOMPARE(names, it.value());
    }
    // Only the Format items, Undo and Redo carry shortcuts.
    for (QAction* a : w.menuBar()->findChildren<QAction*>()) {
      if (a->objectName() == U("UndoItem")) {
        QCOMPARE(a->shortcuts(), QList<QKeySequence>{QKeySequence(U("Ctrl+Z"))});
        continue;
      }
      if (a->objectName() == U("RedoItem")) {
        QCOMPARE(a->shortcuts(), (QList<QKeySequence>{QKeySequence(U("Ctrl+Shift+Z")), QKeySequence(U("Ctrl+Y"))}));
        continue;
      }
      const int formatIndex = QStringList{U("N81"), U("N82"), U("N7"), U("N8"), U("N9")}.indexOf(a->objectName());
      QCOMPARE(a->shortcut(), formatIndex < 0 ? QKeySequence() : QKeySequence(Qt::Key_F5 + formatIndex));
    }

    // Radio groups with their Tags: checking one item clears the others of its group.
    const char* format[] = {"N81", "N82", "N7", "N8", "N9"};
    const char* powerOn[] = {"N83", "N84", "N12", "N13", "N14", "N15"};
    for (int i = 0; i < 5; ++i) QCOMPARE(m_f.Item(format[i])->data().toInt(), i);
    for (int i = 0; i < 6; ++i) QCOMPARE(m_f.Item(powerOn[i])->data().toInt(), i);
    m_f.Item("N8")->setChecked(true);
    m_f.Item("N13")->setChecked(true);
    for (int i = 0; i < 5; ++i) QCOMPARE(m_f.Item(format[i])->isChecked(), i == 3);
    for (int i = 0; i < 6; ++i) QCOMPARE(m_f.Item(powerOn[i])->isChecked(), i == 3);
  }

  void functionKeysChooseTheFormatItems() {
    MainWindow& w = m_f.MakeWindow();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const char* format[] = {"N81", "N82", "N7", "N8", "N9"};
    const Qt::Key keys[] = {Qt::Key_F5, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8, Qt::Key_F9};
    for (int i = 0; i < 5; ++i) {
      QSignalSpy spy(m_f.Item(format[i]), &QAction::triggered);
      // From anywhere in the window: here with the fade-time box holding the focus.
      auto* fade = m_f.Control<QComboBox>("ComboBox1");
      fade->setFocus();
      QTest::keyClick(fade, keys[i]);
      QCOMPARE(spy.count(), 1);
      // The key does not mark the item by itself: the mark stays on the image's input.
      for (int j = 0; j < 5; ++j) QCOMPARE(m_f.Item(format[j])->isChecked(), j == w.image().inputSource());
      for (int j = 0; j < 5; ++j)
        if (j != i) QCOMPARE(m_f.Item(format[j])->shortcut(), QKeySequence(keys[j]));
    }
  }

  void refreshShowsTheImageUnderTheRefreshingFlag() {
    MainWindow& w = m_f.MakeWindow();
    auto* fader = m_f.Control<QSlider>("suiTrackBar14");
    QCOMPARE(fader->value(), w.image().faderLevel(0));
    QList<int> flagDuringChange;
    connect(fader, &QSlider::valueChanged, &w, [&](int) { flagDuringChange << w.state().refreshing; });

    // The input refresh leaves the flag as it finds it.
    w.image().setFaderLevel(0, 20);
    w.RefreshAll();
    QCOMPARE(flagDuringChange, QList<int>{0});
    flagDuringChange.clear();
    // New Project moves the fader back to its default inside the refreshing bracket.
    w.equalizerPage()->setCurrentIndex(3);
    QCOMPARE(w.state().selectedChannel, 3);
    w.NewProject();
    QCOMPARE(flagDuringChange, QList<int>{1});
    QCOMPARE(w.state().refreshing, 0);
    QCOMPARE(w.equalizerPage()->currentIndex(), 0);
    QCOMPARE(w.state().selectedChannel, 0);
    QCOMPARE(m_f.Control<QLabel>("StaticText30")->text(), U("7.0"));
  }

  void inputRefreshMarksTheSelectedInput() {
    MainWindow& w = m_f.MakeWindow();
    struct Case {
      int input;
      int powerOn;
      int red;  // button index shown red, -1 none
    };
    const Case cases[] = {{2, 3, 2}, {4, 5, 4}, {0, 0, 0}};
    const char* format[] = {"N81", "N82", "N7", "N8", "N9"};
    const char* powerOn[] = {"N83", "N84", "N12", "N13", "N14", "N15"};
    for (const Case& c : cases) {
      w.image().setInputSource(static_cast<std::uint8_t>(c.input));
      w.image().setPowerOnSource(static_cast<std::uint8_t>(c.powerOn));
      w.image().setFaderLevel(c.input, 100);
      w.RefreshAll();
      for (int i = 0; i < 5; ++i) {
        QCOMPARE(Skin::IsAlert(w.inputSection()->inputButton(i)), i == c.red);
        QCOMPARE(m_f.Item(format[i])->isChecked(), i == c.input);
      }
      for (int i = 0; i < 6; ++i) QCOMPARE(m_f.Item(powerOn[i])->isChecked(), i == c.powerOn);
      QCOMPARE(m_f.Control<QLabel>("StaticText30")->text(), U("10.0"));
    }
    // An input code past the fader table: no red button, the fader shows 0, marks stay.
    w.image().setInputSource(9);
    w.RefreshAll();
    for (int i = 0; i < 5; ++i) QVERIFY(!Skin::IsAlert(w.inputSection()->inputButton(i)));
    QVERIFY(m_f.Item("N81")->isChecked());
    QCOMPARE(m_f.Control<QSlider>("suiTrackBar14")->value(), 0);
    QCOMPARE(m_f.Control<QLabel>("StaticText30")->text(), U("0.0"));
  }

  void logoLongPressBoundary() {
    MainWindow& w = m_f.MakeWindow();
    LogoImage* logo = m_f.Control<LogoImage>("Image2");
    auto hold = [&](int ticks) {
      QTest::mousePress(logo, Qt::LeftButton);
      QVERIFY(w.timer1().isActive());
      QCOMPARE(w.state().pressTicks, 0);
      for (int i = 0; i < ticks; ++i) w.OnLongPressTick();
      QTest::mouseRelease(logo, Qt::LeftButton);
      QVERIFY(!w.timer1().isActive());
      QCOMPARE(w.state().pressTicks, 0);
    };
    hold(30);
    QVERIFY(!w.deviceInfoDialog()->isVisible());
    hold(31);
    QVERIFY(w.deviceInfoDialog()->isVisible());
    // A second long press shows the same dialog again, not a new one.
    DeviceInfoDialog* first = w.deviceInfoDialog();
    first->hide();
    QTest::mousePress(logo, Qt::RightButton);  // any button
    for (int i = 0; i < 40; ++i) w.OnLongPressTick();
    QTest::mouseRelease(logo, Qt::RightButton);
    QVERIFY(first->isVisible());
    QCOMPARE(w.findChildren<DeviceInfoDialog*>().size(), 1);
  }

  void logoTimerCountsOnItsOwn() {
    WindowFixture::Settings settings;
    settings.timer1IntervalMs = 1;
    MainWindow& w = m_f.MakeWindow(settings);
    LogoImage* logo = m_f.Control<LogoImage>("Image2");
    QTest::mousePress(logo, Qt::LeftButton);
    QTRY_VERIFY(w.state().pressTicks > MainWindow::kLongPressTicks);
    QTest::mouseRelease(logo, Qt::LeftButton);
    QVERIFY(w.deviceInfoDialog()->isVisible());
  }

  void menuDialogsOpenModeless() {
    MainWindow& w = m_f.MakeWindow();
    m_f.Item("EQ3")->trigger();
    QVERIFY(w.eqCopyDialog()->isVisible());
    QVERIFY(!w.eqCopyDialog()->isModal());
    m_f.Item("N22")->trigger();
    QVERIFY(w.profileDialog()->isVisible());
    QVERIFY(!w.profileDialog()->isModal());
  }

  // The drawers' controls are made when first needed, and then show what they would have
  // shown had they been made with the window: the image's values and the language chosen
  // meanwhile, with nothing stored; the channel page's test box keeps its rule over the
  // drawer's boxes before the drawer was ever opened.
  void drawerContentsAreMadeWhenFirstNeeded() {
    const auto made = [](MainWindow& w) {
      return w.inputDrawer()->findChild<QSlider*>() != nullptr || w.outputDrawer()->findChild<QCheckBox*>() != nullptr ||
             w.equalizerPage()->findChild<SubwooferPanel*>() != nullptr || w.equalizerPage()->findChild<MonitorPanel*>() != nullptr;
    };
    {
      // The device list too, until a search from the menu lists the units.
      MainWindow& w = m_f.MakeWindow();
      QVERIFY(w.deviceListDrawer()->findChild<QTableWidget*>() == nullptr);
      m_f.StartUnit();
      m_f.SearchFromMenu();
      QVERIFY(w.deviceListDrawer()->isVisible());
      QCOMPARE(w.deviceListDrawer()->findChild<QTableWidget*>(), m_f.grid());
      QCOMPARE(m_f.panel()->cellText(1, 1), U("127.0.0.2"));
    }
    {
      MainWindow& w = m_f.MakeWindow();
      QVERIFY(!made(w));
      w.equalizerPage()->setCurrentIndex(2);
      w.equalizerPage()->channelTestBox()->click();
      QVERIFY(made(w));
      QCOMPARE(int(w.image().testSignalMask()), 1 << 2);
      QCOMPARE(w.workspace().history().undoCount(), std::size_t{1});  // one click, one step
      for (int slot = 0; slot < OutputDrawer::kSlots; ++slot) QCOMPARE(w.outputDrawerContent()->testBox(slot)->isChecked(), slot == 2);
    }

    MainWindow& w = m_f.MakeWindow();
    w.OnEnglishChosen();
    w.image().setOutputLevel(2, 33);
    w.image().setPresetLevel(1, 17);
    w.image().setSubLpfFreq(3);
    w.image().setMonitorLevel(2, 9);
    const ParameterImage before = w.image();
    QVERIFY(!made(w));
    w.outputDrawer()->Open();  // what the mouse on its bar does
    QVERIFY(made(w));
    QVERIFY(w.image() == before);
    QVERIFY(!w.workspace().history().canUndo());
    QCOMPARE(w.outputDrawerContent()->testBox(0)->text(), CaptionTable::GeneratorName(1, 0));
    const auto shown = [&w] {
      QStringList texts;
      const QList<QWidget*> contents = {w.inputDrawerContent(), w.outputDrawerContent(), w.equalizerPage()->subwooferPanel(),
                                        w.equalizerPage()->monitorPanel()};
      for (QWidget* content : contents) {
        for (const QWidget* c : content->findChildren<QWidget*>()) {
          QString text = c->objectName() + QLatin1Char('|') + c->accessibleName();
          if (const auto* label = qobject_cast<const QLabel*>(c)) text += QLatin1Char('|') + label->text();
          if (const auto* button = qobject_cast<const QAbstractButton*>(c)) text += QStringLiteral("|%1|%2").arg(button->text()).arg(button->isChecked());
          if (const auto* slider = qobject_cast<const QSlider*>(c)) text += QStringLiteral("|%1").arg(slider->value());
          if (const auto* combo = qobject_cast<const QComboBox*>(c)) text += QStringLiteral("|%1").arg(combo->currentIndex());
          texts << text;
        }
      }
      return texts;
    };
    const QStringList late = shown();
    m_f.RefreshAll();
    w.ApplyLanguage();
    QCOMPARE(shown(), late);
    QVERIFY(w.image() == before);
  }

  // What waits for the first frame (the window icon) is told once, after the frame.
  void firstFrameIsAnnouncedOnce() {
    WindowFixture::Settings settings;
    settings.show = false;
    MainWindow& w = m_f.MakeWindow(settings);
    QSignalSpy painted(&w, &MainWindow::firstFramePainted);
    QCoreApplication::processEvents();
    QCOMPARE(painted.count(), 0);
    w.show();
    QTRY_COMPARE(painted.count(), 1);
    w.repaint();
    w.equalizerPage()->setCurrentIndex(5);
    QCoreApplication::processEvents();
    QCOMPARE(painted.count(), 1);
  }

  void statusBarStartsEmptyAndIgnoresTheLanguage() {
    MainWindow& w = m_f.MakeWindow();
    StatusBar* bar = w.statusBarPanels();
    QCOMPARE(bar->objectName(), U("suiStatusBar1"));
    QCOMPARE(bar->panelText(0), QString());
    QCOMPARE(bar->panelText(1), QString());
    bar->SetPanelText(0, U("System Connected    IP:127.0.0.2"));
    bar->SetPanelText(1, U("已连接"));
    m_f.Item("Endlish1")->trigger();
    QCOMPARE(bar->panelText(0), U("System Connected    IP:127.0.0.2"));
    QCOMPARE(bar->panelText(1), U("已连接"));
    m_f.Item("N24")->trigger();
    QCOMPARE(bar->panelText(0), U("System Connected    IP:127.0.0.2"));
    QCOMPARE(bar->panelText(1), U("已连接"));
  }

  // A control the style draws through its pixmap cache must find the entry it left on the
  // last paint instead of adding one per paint: a new entry per paint pushes every other
  // entry out, and the Qt in use keeps the key text of each entry pushed out for good, so
  // the program's memory grew with every search that showed the device list.
  void repaintsAddNothingToThePixmapCache() {
    MainWindow& w = m_f.MakeWindow();
    SideChannel* list = w.deviceListDrawer();
    list->ShowPinnedOpen();
    QTRY_COMPARE(list->width(), w.deviceSession()->panel()->width());
    (void)w.grab();  // the entries every paint uses go in once

    const int limitKiB = QPixmapCache::cacheLimit();
    QPixmapCache::setCacheLimit(1024);
    const QString marker = U("repaint-test-marker");
    QPixmap markerPixmap(64, 64);
    markerPixmap.fill(Qt::red);
    QVERIFY(QPixmapCache::insert(marker, markerPixmap));
    // Enough paints that an entry of a few kilobytes per paint would overflow the cache.
    for (int i = 0; i < 250; ++i) (void)w.grab();
    QPixmap found;
    const bool kept = QPixmapCache::find(marker, &found);
    QPixmapCache::remove(marker);
    QPixmapCache::setCacheLimit(limitKiB);
    QVERIFY2(kept, "repainting the window pushed an older entry out of the pixmap cache");
  }

  // The skin is drawn by the program's style, not by a style sheet (a sheet anywhere puts its
  // widgets under Qt's style-sheet style, which keeps rules, a palette and a face for every
  // widget): each widget's look follows from its name and properties, an alert caption turns
  // red and bold and back, and the painted window shows the skin's shapes.
  void theSkinDrawsWhatEachWidgetSays() {
    MainWindow& w = m_f.MakeWindow();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(dynamic_cast<SkinStyle*>(w.style()) != nullptr);
    QVERIFY(qApp->styleSheet().isEmpty());
    SideChannel* list = w.deviceListDrawer();
    list->ShowPinnedOpen();
    QTRY_COMPARE(list->width(), w.deviceSession()->panel()->width());
    for (const QWidget* widget : w.findChildren<QWidget*>())
      QVERIFY2(widget->styleSheet().isEmpty(), qPrintable(widget->objectName()));
    const auto near = [](QColor seen, QColor expected) {
      return std::abs(seen.red() - expected.red()) <= 12 && std::abs(seen.green() - expected.green()) <= 12 &&
             std::abs(seen.blue() - expected.blue()) <= 12;
    };

    // An input key: red and bold while it needs attention, its own colours again after.
    QPushButton* key = w.inputSection()->inputButton(3);
    for (const bool alert : {true, false, true, false}) {
      Skin::SetAlert(key, alert);
      QCOMPARE(key->palette().color(QPalette::ButtonText), alert ? QColor(0xd0, 0x18, 0x18) : QColor(0x14, 0x1a, 0x20));
      QCOMPARE(key->font().bold(), alert);
      QCOMPARE(key->font().pixelSize(), 13);
      const QImage look = key->grab().toImage();
      QCOMPARE(near(look.pixelColor(1, look.height() / 2), QColor(0xd0, 0x18, 0x18)), alert);
    }

    // A value text: green digits in a dark box.
    QLabel* value = nullptr;
    for (QLabel* label : w.findChildren<QLabel*>())
      if ((SkinRoleOf(label) == SkinRole::LcdText || SkinRoleOf(label) == SkinRole::PageLcdText) && label->isVisible())
        value = label;
    QVERIFY(value != nullptr);
    QCOMPARE(value->palette().color(QPalette::WindowText), QColor(0x8a, 0xf0, 0xa4));
    QCOMPARE(value->font().families().value(0), QStringLiteral("DejaVu Sans Mono"));
    const QImage box = value->grab().toImage();
    QVERIFY2(near(box.pixelColor(2, box.height() / 2), QColor(0x12, 0x19, 0x20)), qPrintable(box.pixelColor(2, box.height() / 2).name()));

    // A band fader: lit blue below its cap, dark above.
    QSlider* band = nullptr;
    for (QSlider* slider : w.findChildren<QSlider*>())
      if (slider->orientation() == Qt::Vertical && slider->isVisible()) band = slider;
    QVERIFY(band != nullptr);
    QStyleOptionSlider option;
    option.initFrom(band);
    option.orientation = band->orientation();
    option.minimum = band->minimum();
    option.maximum = band->maximum();
    option.sliderPosition = band->sliderPosition();
    option.upsideDown = !band->invertedAppearance();
    const QRect cap = band->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, band);
    const QImage fader = band->grab().toImage();
    const int x = cap.center().x();
    QVERIFY2(cap.top() > 4 && cap.bottom() < band->height() - 4, "the cap should sit inside the groove");
    const QColor below = fader.pixelColor(x, (cap.bottom() + band->height()) / 2);
    const QColor above = fader.pixelColor(x, cap.top() / 2);
    QVERIFY2(below.blue() > 150 && below.blue() > below.red() + 60, qPrintable(below.name()));
    QVERIFY2(near(above, QColor(0x2b, 0x33, 0x3c)), qPrintable(above.name()));

    // The dark menu band and header band.
    const QImage window = w.grab().toImage();
    QVERIFY(window.pixelColor(w.width() - 20, 5).value() < 0x50);
    QVERIFY(window.pixelColor(20, w.menuBar()->height() + 30).value() < 0x50);

    // A menu separator is a thin line: the "--------" its action carries is not drawn.
    QAction* separator = m_f.Item("N19");
    auto* file = qobject_cast<QMenu*>(separator->parent());
    QVERIFY(file != nullptr);
    const QRect line = file->actionGeometry(separator);
    QCOMPARE(line.height(), 9);
    const QImage menu = file->grab().toImage();
    const QColor popup(0xfb, 0xfc, 0xfd);
    for (int y = line.top(); y <= line.bottom(); ++y) {
      for (int x = line.left() + 1; x < line.right(); ++x) {
        const bool onLine = y == line.center().y() && x >= line.left() + 8 && x <= line.right() - 8;
        if (!onLine) QVERIFY2(near(menu.pixelColor(x, y), popup), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
      }
    }
    QVERIFY(menu.pixelColor(line.center().x(), line.center().y()).value() < 0xe0);

    // The device list numbers its 254 rows itself and holds no item for an empty row.
    DeviceListPanel* panel = w.deviceSession()->panel();
    QCOMPARE(panel->cellText(254, 0), QStringLiteral("254"));
    QCOMPARE(panel->cellText(7, 1), QString());
    QCOMPARE(panel->grid()->item(6, 0), nullptr);
  }

  // The caption face cut at build time holds every character the window shows in either
  // language (a character it lacked would come from the full face: the same glyph, but the
  // megabytes the cut saves would be mapped again), and the full face stays behind it for
  // text the program cannot know in advance.
  void everyCaptionComesFromTheCaptionFace() {
    QVERIFY2(Skin::LoadCaptionFace(), "built without the caption face (install fonttools and fonts-noto-cjk)");
    QCOMPARE(qApp->font().families(), (QStringList{Skin::kCaptionFamily, QStringLiteral("Noto Sans CJK SC")}));
    // The face's own glyphs, without the fallback a QFontMetrics would also look in.
    QFont regular(Skin::kCaptionFamily);
    regular.setPixelSize(12);
    QFont bold = regular;
    bold.setBold(true);
    const QRawFont regularFace = QRawFont::fromFont(regular);
    const QRawFont boldFace = QRawFont::fromFont(bold);
    QCOMPARE(regularFace.familyName(), Skin::kCaptionFamily);
    QCOMPARE(boldFace.familyName(), Skin::kCaptionFamily);
    QCOMPARE(boldFace.weight(), int(QFont::Bold));

    MainWindow& w = m_f.MakeWindow();
    w.eqCopyDialog();
    w.profileDialog();
    w.deviceInfoDialog();
    QStringList texts;
    for (int language = 0; language < 2; ++language) {
      if (language == 1) m_f.Item("Endlish1")->trigger();
      w.grab();  // every caption drawn, the drawers' painted ones too
      for (SideChannel* drawer : w.findChildren<SideChannel*>()) drawer->grab();
      texts += VisibleTexts(m_f).values();
      for (int row = 0; row < CaptionTable::kRowCount; ++row) texts << CaptionTable::Text(row, language);
      for (int type = 0; type < 6; ++type) texts << CaptionTable::GeneratorName(language, type);
    }
    for (const QString& text : texts) {
      for (const char32_t c : text.toUcs4()) {
        if (c == U' ') continue;
        QVERIFY2(regularFace.supportsCharacter(c) && boldFace.supportsCharacter(c),
                 qPrintable(QStringLiteral("'%1' of \"%2\" is not in the caption face").arg(QString::fromUcs4(&c, 1), text)));
      }
    }
    // So drawing them never opened the full face (its file is not even mapped).
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    for (const QByteArray& line : maps.readAll().split('\n')) QVERIFY2(!line.contains("NotoSansCJK"), line.constData());
    // A character no text of the program uses is left to the full face.
    QVERIFY(!regularFace.supportsCharacter(U'\u9F98'));
    QVERIFY(QRawFont::fromFont(QFont(QStringLiteral("Noto Sans CJK SC"))).supportsCharacter(U'\u9F98'));
  }

  void captionTableEdges() {
    // Generator names by language and type; out-of-range look-ups give nothing.
    QCOMPARE(CaptionTable::GeneratorName(0, 0), U("粉红噪声"));
    QCOMPARE(CaptionTable::GeneratorName(1, 0), U("Pink"));
    QCOMPARE(CaptionTable::GeneratorName(1, 3), U("1KHz"));
    QCOMPARE(CaptionTable::GeneratorName(0, 5), U("10KHz"));
    QCOMPARE(CaptionTable::GeneratorName(0, 6), QString());
    QCOMPARE(CaptionTable::GeneratorName(2, 0), QString());
    QCOMPARE(CaptionTable::Text(CaptionTable::kRowCount, 0), QString());
    QCOMPARE(CaptionTable::Text(-1, 1), QString());
    QCOMPARE(CaptionTable::Text(8, 0), QString());  // a row no control shows
    // Texts keep their padding blanks.
    QCOMPARE(CaptionTable::Text(45, 1), U("Left          Center          Right            SL             SR             SW  "));
    QCOMPARE(CaptionTable::Text(128, 1), U("Theater Name"));
    QCOMPARE(CaptionTable::Text(95, 1), U("Theater Name:"));
    QCOMPARE(CaptionTable::Text(33, 0), U("预设值"));
    QCOMPARE(CaptionTable::Text(113, 1), U("dB/Oct"));
  }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
