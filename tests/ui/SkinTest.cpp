// The skin draws each widget from the role it was given where it was made: the controls of the
// window carry the roles of their looks, and a widget's name or its region's name has no part
// in how it is drawn. The real window offscreen, with the skin's style.

#include <QAbstractButton>
#include <QCheckBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>

#include <array>

#include "support/WindowFixture.h"
#include "ui/devices/DeviceListPanel.h"
#include "ui/devices/DeviceSession.h"
#include "ui/equalizer/EqualizerPage.h"
#include "ui/input/InputDrawer.h"
#include "ui/output/OutputDrawer.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"
#include "ui/SkinRole.h"

using namespace mzr;
using mzr::test::WindowFixture;

namespace {

// The window with its drawers closed, then each drawer pinned open, pictured on its own.
struct Pictures {
  QImage window, input, output, devices;
};

Pictures Take(MainWindow& w) {
  const std::array drawers = {w.inputDrawer(), w.outputDrawer(), w.deviceListDrawer()};
  for (SideChannel* drawer : drawers) {
    drawer->setPinned(false);
    drawer->Collapse();
  }
  w.deviceListDrawer()->hide();  // the device list is seen only while it is open
  QApplication::processEvents();
  Pictures pictures;
  pictures.window = w.grab().toImage();
  std::array<QImage*, 3> open = {&pictures.input, &pictures.output, &pictures.devices};
  for (std::size_t k = 0; k < drawers.size(); ++k) {
    SideChannel* drawer = drawers[k];
    drawer->ShowPinnedOpen();
    if (!QTest::qWaitFor([drawer] { return drawer->width() == drawer->openBounds().width(); }))
      qFatal("a drawer did not open");
    *open[k] = drawer->grab().toImage();
  }
  return pictures;
}

qsizetype DifferentPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return qsizetype(a.width()) * a.height() + 1;
  const QImage x = a.convertToFormat(QImage::Format_ARGB32);
  const QImage y = b.convertToFormat(QImage::Format_ARGB32);
  qsizetype count = 0;
  for (int row = 0; row < x.height(); ++row)
    for (int column = 0; column < x.width(); ++column) count += x.pixel(column, row) != y.pixel(column, row) ? 1 : 0;
  return count;
}

}  // namespace

class SkinTest final : public QObject {
  Q_OBJECT

  WindowFixture m_f;

  // The window shown with its drawers' contents made and the subwoofer tab chosen.
  MainWindow& ShowAll() {
    MainWindow& w = m_f.MakeWindow();
    m_f.MakeDrawerContents();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) qFatal("the window was not shown");
    m_f.Control<QTabBar>("channelTabs")->setCurrentIndex(5);
    return w;
  }

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }
  void cleanup() { m_f.Reset(); }

  // One control of each look, found by its name in its region, carries its role.
  void controlsCarryTheRolesOfTheirLooks() {
    MainWindow& w = m_f.MakeWindow();
    m_f.MakeDrawerContents();
    QWidget* input = w.inputDrawerContent();
    QWidget* output = w.outputDrawerContent();
    QWidget* devices = w.deviceSession()->panel();
    QWidget* page = w.equalizerPage();
    const struct {
      const char* name;
      QWidget* region;
      SkinRole role;
    } cases[] = {
        {"clientArea", nullptr, SkinRole::ClientArea},
        {"headerBand", nullptr, SkinRole::HeaderBand},
        {"suiButton1", w.centralWidget(), SkinRole::InputKey},
        {"StaticText30", w.centralWidget(), SkinRole::LcdText},
        {"StaticText1", input, SkinRole::LcdText},
        {"suiCheckBox1", input, SkinRole::InputLamp},
        {"suiCheckGroup1Item0", input, SkinRole::InputLamp},
        {"inputBox1", input, SkinRole::InputBox},
        {"suiRadioGroup3Item2", output, SkinRole::OutputLamp},
        {"StaticText21", output, SkinRole::HeadCaption},
        {"suiButton24", devices, SkinRole::NarrowKey},
        {"suiStringGrid1", devices, SkinRole::UnitGrid},
        {"channelPage", page, SkinRole::ChannelPage},
        {"Edit4", page, SkinRole::PageLcdText},
        {"suiCheckBox14", page, SkinRole::PageLamp},
        {"suiRadioGroup4Item0", page, SkinRole::PageLamp},
        {"Panel1", page, SkinRole::PanelBackground},
        {"subSection0", page, SkinRole::SubSection},
        {"Panel3", page, SkinRole::PanelBackground},
        {"graphFrequencies", page, SkinRole::ScaleCaption},
    };
    for (const auto& c : cases) {
      // The input keys' names are used in the drawers too: those are the client area's own.
      QWidget* widget = c.region == w.centralWidget() ? m_f.DirectControl<QWidget>(c.name, c.region)
                                                      : m_f.Control<QWidget>(c.name, c.region);
      QVERIFY2(SkinRoleOf(widget) == c.role, c.name);
    }
    // Output slot 3's polarity key and test box, through the drawer's own accessors.
    auto* drawer = w.outputDrawerContent();
    QCOMPARE(SkinRoleOf(drawer->polarityButton(3)), SkinRole::OutputKey);
    QCOMPARE(SkinRoleOf(drawer->testBox(3)), SkinRole::OutputLamp);
    // Both headers of the unit list, and the corner between them.
    QTableWidget* grid = m_f.grid();
    QCOMPARE(SkinRoleOf(grid->horizontalHeader()), SkinRole::UnitGridHeader);
    QCOMPARE(SkinRoleOf(grid->verticalHeader()), SkinRole::UnitGridHeader);
    const auto corners = grid->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(corners.size(), 1);
    QCOMPARE(SkinRoleOf(corners.first()), SkinRole::UnitGridHeader);
    // A widget nobody gave a role has none.
    QCOMPARE(SkinRoleOf(m_f.Control<QWidget>("channelTabs")), SkinRole::None);
  }

  // Every widget of the window renamed, and polished again: the window and its drawers look
  // the same to the pixel. The pictures do see the looks: the channel page without its role
  // is drawn otherwise.
  void renamedWidgetsLookTheSame() {
    MainWindow& w = ShowAll();
    QWidget* page = m_f.Control<QWidget>("channelPage");
    const Pictures before = Take(w);
    QVERIFY(!before.window.isNull() && !before.devices.isNull());

    QList<QWidget*> widgets = w.findChildren<QWidget*>();
    widgets.append(&w);
    int n = 0;
    for (QWidget* widget : widgets) widget->setObjectName(QStringLiteral("renamed%1").arg(++n));
    for (QWidget* widget : widgets) {
      widget->style()->unpolish(widget);
      widget->style()->polish(widget);
      widget->update();
    }
    const Pictures after = Take(w);
    QCOMPARE(DifferentPixels(after.window, before.window), 0);
    QCOMPARE(DifferentPixels(after.input, before.input), 0);
    QCOMPARE(DifferentPixels(after.output, before.output), 0);
    QCOMPARE(DifferentPixels(after.devices, before.devices), 0);

    SetSkinRole(page, SkinRole::None);
    QVERIFY(DifferentPixels(Take(w).window, before.window) > 0);
  }

  // A role given to a widget already shown takes at once: its face and colours with it.
  void aRoleGivenAfterShowTakesAtOnce() {
    QWidget host;
    auto* label = new QLabel(QStringLiteral("12.5"), &host);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QVERIFY(label->font().families().value(0) != QStringLiteral("DejaVu Sans Mono"));
    SetSkinRole(label, SkinRole::LcdText);
    QCOMPARE(label->font().families().value(0), QStringLiteral("DejaVu Sans Mono"));
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0x8a, 0xf0, 0xa4));
  }
};

QTEST_MAIN(SkinTest)
#include "SkinTest.moc"
