#include "ui/window/SideChannel.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

#include <algorithm>
#include <utility>

#include "ui/PaintedIcon.h"
#include "ui/SkinRole.h"

namespace mzr {

namespace {

// A push-pin drawn upright when pinned and tilted when loose, so its state reads at a glance;
// drawn in the 16 x 16 box at the icon's size and density when it is shown.
void DrawPin(QPainter& p, const QRectF& rect, QIcon::State state) {
  const bool pinned = state == QIcon::On;
  p.translate(rect.center());
  p.scale(rect.width() / 16.0, rect.height() / 16.0);
  if (!pinned) p.rotate(-45);
  const QColor ink(0x26, 0x32, 0x40);
  p.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(0, 1), QPointF(0, 7));
  p.setPen(Qt::NoPen);
  p.setBrush(pinned ? QColor(0xD0, 0x30, 0x30) : ink);
  p.drawRoundedRect(QRectF(-3.5, -7, 7, 5), 1.5, 1.5);
  p.drawRect(QRectF(-5.5, -2.5, 11, 2.5));
}

bool HasWideCharacters(const QString& text) {
  return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x2E80; });
}

}  // namespace

SideChannel::SideChannel(const QString& name, const QRect& bounds, Options options, QWidget* parent)
    : QWidget(parent), m_bounds(bounds), m_options(std::move(options)) {
  setObjectName(name);
  setAttribute(Qt::WA_StyledBackground, false);
  setAutoFillBackground(false);
  setProperty("drawer", true);

  m_title = new QWidget(this);
  m_title->setObjectName(QStringLiteral("drawerTitle"));
  SetSkinRole(m_title, SkinRole::DrawerTitle);
  m_title->setAttribute(Qt::WA_StyledBackground, true);
  auto* titleLayout = new QHBoxLayout(m_title);
  titleLayout->setContentsMargins(8, 0, 3, 0);
  titleLayout->setSpacing(4);
  m_titleLabel = new QLabel(m_title);
  m_titleLabel->setObjectName(QStringLiteral("drawerCaption"));
  SetSkinRole(m_titleLabel, SkinRole::HeadCaption);
  titleLayout->addWidget(m_titleLabel, 1);
  m_pinButton = new QToolButton(m_title);
  m_pinButton->setObjectName(QStringLiteral("pinButton"));
  m_pinButton->setCheckable(true);
  m_pinButton->setAutoRaise(true);
  m_pinButton->setFixedSize(20, 18);
  m_pinButton->setFocusPolicy(Qt::NoFocus);
  m_pinButton->setIcon(PaintedIcon([](QPainter& p, const QRectF& rect, QIcon::Mode, QIcon::State state) { DrawPin(p, rect, state); }));
  m_pinButton->setVisible(m_options.pinnable);
  titleLayout->addWidget(m_pinButton);
  connect(m_pinButton, &QToolButton::toggled, this, &SideChannel::setPinned);

  m_content = new QWidget(this);
  m_content->setObjectName(QStringLiteral("drawerBody"));

  m_checkTimer.setInterval(m_options.checkIntervalMs);
  connect(&m_checkTimer, &QTimer::timeout, this, [this] { CheckMouse(QCursor::pos()); });
  m_stepTimer.setInterval(m_options.stepIntervalMs);
  connect(&m_stepTimer, &QTimer::timeout, this, &SideChannel::StepOpen);

  Collapse();
}

void SideChannel::setCaption(const QString& caption) {
  m_caption = caption;
  m_titleLabel->setText(caption);
  update();
}

void SideChannel::setContent(QWidget* content) {
  if (content == m_content) return;
  delete m_content;
  m_content = content;
  m_content->setParent(this);
  m_content->setVisible(m_open);
  LayoutChildren();
}

void SideChannel::setPinned(bool pinned) {
  if (m_pinned == pinned) return;
  m_pinned = pinned;
  if (m_pinButton->isChecked() != pinned) m_pinButton->setChecked(pinned);
  if (pinned) {
    m_checkTimer.stop();
    if (!m_open) Open();
  } else if (m_open) {
    m_checkTimer.start();
  }
}

void SideChannel::MakeContent() {
  if (!m_makeContent) return;
  const std::function<void()> make = std::exchange(m_makeContent, nullptr);
  make();
}

void SideChannel::Open() {
  MakeContent();
  const bool wasOpen = m_open;
  m_open = true;
  m_stepTimer.stop();
  SetWidth(m_bounds.width());
  m_title->show();
  m_content->show();
  raise();
  if (!m_pinned) m_checkTimer.start();
  if (!wasOpen) emit openChanged(true);
}

void SideChannel::Collapse() {
  const bool wasOpen = m_open;
  m_open = false;
  m_stepTimer.stop();
  m_checkTimer.stop();
  m_title->hide();
  m_content->hide();
  SetWidth(kBarWidth);
  if (wasOpen) emit openChanged(false);
}

void SideChannel::ShowPinnedOpen() {
  MakeContent();
  m_pinned = true;
  m_pinButton->setChecked(true);
  m_checkTimer.stop();
  show();
  raise();
  if (m_options.openStep <= 0) {
    Open();
    return;
  }
  // Slide out from the bar; the children keep their full size and are revealed step by step.
  const bool wasOpen = m_open;
  m_open = true;
  SetWidth(kBarWidth);
  m_title->show();
  m_content->show();
  m_stepTimer.start();
  if (!wasOpen) emit openChanged(true);
}

void SideChannel::StepOpen() {
  const int next = std::min(width() + m_options.openStep, m_bounds.width());
  SetWidth(next);
  if (next >= m_bounds.width()) m_stepTimer.stop();
}

void SideChannel::CheckMouse(const QPoint& globalPos) {
  if (!m_open || m_pinned) return;
  // A drop-down list of a control inside the drawer lies outside it; keep the drawer open.
  if (QApplication::activePopupWidget() != nullptr) return;
  if (!rect().contains(mapFromGlobal(globalPos))) Collapse();
}

void SideChannel::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  if (!m_open && isVisible() && window()->isActiveWindow()) Open();
}

void SideChannel::SetWidth(int width) {
  const int x = m_options.edge == Edge::Left ? m_bounds.x() : m_bounds.x() + m_bounds.width() - width;
  setGeometry(x, m_bounds.y(), width, m_bounds.height());
  LayoutChildren();
  update();
}

void SideChannel::LayoutChildren() {
  // While sliding, the children keep their full width and the drawer clips them.
  const int offset = m_options.edge == Edge::Left ? 0 : width() - m_bounds.width();
  m_title->setGeometry(offset, 0, m_bounds.width(), kTitleHeight);
  m_content->setGeometry(offset, kTitleHeight, m_bounds.width(), m_bounds.height() - kTitleHeight);
}

QRect SideChannel::BarRect() const {
  return m_options.edge == Edge::Left ? QRect(0, 0, kBarWidth, height())
                                      : QRect(width() - kBarWidth, 0, kBarWidth, height());
}

void SideChannel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutChildren();
}

void SideChannel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor base = m_options.colour.isValid() ? m_options.colour : palette().color(QPalette::Window);
  if (m_open || width() > kBarWidth) {
    p.fillRect(rect(), base);
    p.setPen(base.darker(150));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    return;
  }
  const QRect bar = BarRect();
  QLinearGradient gradient(bar.topLeft(), bar.topRight());
  gradient.setColorAt(0, base.lighter(106));
  gradient.setColorAt(1, base.darker(118));
  p.fillRect(bar, gradient);
  p.setPen(base.darker(170));
  p.drawRect(bar.adjusted(0, 0, -1, -1));

  QFont font = this->font();
  font.setPixelSize(9);
  p.setPen(QColor(0x1C, 0x26, 0x31));
  const QString text = m_caption.trimmed();
  if (HasWideCharacters(text)) {
    // Chinese reads top to bottom with upright characters; brackets take their vertical forms.
    // The characters take the bar's whole width: any smaller and their strokes run together.
    font.setPixelSize(kBarWidth);
    p.setFont(font);
    const int step = kBarWidth + 1;
    int y = 12;
    for (QChar c : text) {
      if (c == QChar(0xFF08)) c = QChar(0xFE35);
      if (c == QChar(0xFF09)) c = QChar(0xFE36);
      p.drawText(QRect(bar.x(), y, bar.width(), step), Qt::AlignCenter, QString(c));
      y += step;
    }
  } else {
    font.setBold(true);
    p.setFont(font);
    p.save();
    p.translate(bar.x() + bar.width() / 2.0, 12);
    p.rotate(90);
    p.drawText(QRect(0, -6, height() - 24, 12), Qt::AlignLeft | Qt::AlignVCenter, text);
    p.restore();
  }
}

}  // namespace mzr
