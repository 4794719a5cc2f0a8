// The drawers: a 10-pixel bar when collapsed, open over the window when the mouse comes
// onto the bar, closed again by the periodic mouse check, held open by the pin; the
// device list slides out in 15-pixel steps and has no pin.

#include <QCursor>
#include <QEnterEvent>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "ui/window/SideChannel.h"

using namespace mzr;

namespace {

// A window holding one drawer the way the main window does.
struct Fixture {
  explicit Fixture(SideChannel::Options options, QRect bounds = QRect(0, 30, 300, 500)) {
    host.resize(946, 584);
    drawer = new SideChannel(QStringLiteral("drawer"), bounds, options, &host);
    drawer->setCaption(QStringLiteral("Output Setup"));
    host.show();
    host.activateWindow();
  }
  void Enter() {
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), drawer->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(drawer, &event);
  }
  QWidget host;
  SideChannel* drawer = nullptr;
};

SideChannel::Options Quick(SideChannel::Edge edge) {
  SideChannel::Options options;
  options.edge = edge;
  options.colour = QColor(0xC0, 0xDC, 0xC0);
  options.checkIntervalMs = 10;
  return options;
}

}  // namespace

class SideChannelTest final : public QObject {
  Q_OBJECT

 private slots:
  void collapsedToABarOnItsEdge() {
    for (const auto edge : {SideChannel::Edge::Left, SideChannel::Edge::Right}) {
      Fixture f(Quick(edge), QRect(296, 29, 650, 536));
      QVERIFY(!f.drawer->isOpen());
      QCOMPARE(f.drawer->width(), SideChannel::kBarWidth);
      QCOMPARE(f.drawer->height(), 536);
      QCOMPARE(f.drawer->x(), edge == SideChannel::Edge::Left ? 296 : 946 - SideChannel::kBarWidth);
      QCOMPARE(f.drawer->caption(), QStringLiteral("Output Setup"));
      QVERIFY(!f.drawer->content()->isVisible());
    }
  }

  void opensOnTheMouseAndClosesAfterItLeaves() {
    Fixture f(Quick(SideChannel::Edge::Right), QRect(296, 29, 650, 536));
    QVERIFY(QTest::qWaitForWindowActive(&f.host));
    QSignalSpy spy(f.drawer, &SideChannel::openChanged);
    QCursor::setPos(f.drawer->mapToGlobal(QPoint(2, 2)));
    f.Enter();
    QVERIFY(f.drawer->isOpen());
    QCOMPARE(f.drawer->geometry(), QRect(296, 29, 650, 536));
    QVERIFY(f.drawer->content()->isVisible());
    // While the mouse stays inside, the check keeps it open.
    f.drawer->CheckMouse(f.drawer->mapToGlobal(QPoint(300, 300)));
    QVERIFY(f.drawer->isOpen());
    // The mouse leaves: the periodic check closes it.
    QCursor::setPos(f.host.mapToGlobal(QPoint(10, 10)));
    QTRY_VERIFY(!f.drawer->isOpen());
    QCOMPARE(f.drawer->width(), SideChannel::kBarWidth);
    QCOMPARE(spy.count(), 2);
  }

  void doesNotOpenForAnInactiveWindow() {
    Fixture f(Quick(SideChannel::Edge::Left));
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    f.Enter();
    QVERIFY(!f.drawer->isOpen());
  }

  void thePinHoldsItOpen() {
    Fixture f(Quick(SideChannel::Edge::Left));
    QVERIFY(QTest::qWaitForWindowActive(&f.host));
    QToolButton* pin = f.drawer->pinButton();
    QVERIFY(f.drawer->isPinnable());
    QVERIFY(!f.drawer->isPinned());
    f.Enter();
    pin->click();
    QVERIFY(f.drawer->isPinned());
    QCursor::setPos(f.host.mapToGlobal(QPoint(600, 400)));
    f.drawer->CheckMouse(QCursor::pos());
    QVERIFY(f.drawer->isOpen());
    // Unpinned with the mouse away, it closes at the next check.
    pin->click();
    QVERIFY(!f.drawer->isPinned());
    QTRY_VERIFY(!f.drawer->isOpen());
  }

  void theDeviceListSlidesOutPinned() {
    SideChannel::Options options = Quick(SideChannel::Edge::Left);
    options.pinnable = false;
    options.openStep = 15;
    options.stepIntervalMs = 1;
    Fixture f(options, QRect(297, 29, 576, 536));
    f.drawer->hide();
    QVERIFY(!f.drawer->pinButton()->isVisibleTo(f.drawer));

    QList<int> widths;
    struct Recorder : QObject {
      QList<int>* widths;
      bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) *widths << static_cast<QWidget*>(watched)->width();
        return false;
      }
    } recorder;
    recorder.widths = &widths;
    f.drawer->installEventFilter(&recorder);
    widths << f.drawer->width();

    f.drawer->ShowPinnedOpen();
    QVERIFY(f.drawer->isVisible());
    QVERIFY(f.drawer->isPinned());
    QTRY_COMPARE(f.drawer->width(), 576);
    QCOMPARE(f.drawer->geometry(), QRect(297, 29, 576, 536));
    // Every step but the last adds 15 pixels.
    QVERIFY(widths.size() > 30);
    QCOMPARE(widths.last(), 576);
    QCOMPARE(widths.first(), SideChannel::kBarWidth);
    for (int i = 1; i < widths.size() - 1; ++i) QCOMPARE(widths[i] - widths[i - 1], 15);
    // Pinned, the mouse check never closes it.
    f.drawer->CheckMouse(f.host.mapToGlobal(QPoint(900, 10)));
    QVERIFY(f.drawer->isOpen());
  }

  void contentGoesBelowTheTitle() {
    Fixture f(Quick(SideChannel::Edge::Left));
    auto* panel = new QLabel(QStringLiteral("list"));
    f.drawer->setContent(panel);
    QCOMPARE(f.drawer->content(), panel);
    QCOMPARE(panel->parentWidget(), f.drawer);
    QVERIFY(!panel->isVisible());
    f.drawer->setPinned(true);
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->geometry(), QRect(0, SideChannel::kTitleHeight, 300, 500 - SideChannel::kTitleHeight));
  }
};

QTEST_MAIN(SideChannelTest)
#include "SideChannelTest.moc"
