#include "ui/equalizer/MonitorPanel.h"

#include <QLabel>
#include <QRegularExpression>
#include <QSlider>

#include "core/AppState.h"
#include "link/EditOperation.h"
#include "model/EditableFields.h"
#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "ui/CaptionTable.h"
#include "ui/SkinRole.h"
#include "ui/equalizer/PageControls.h"
#include "ui/UiContext.h"

namespace mzr {
namespace {

constexpr int kHeadsRow = 45;  // the output drawer's column heads, also shown here
constexpr int kPitch = 95;
constexpr int kHeadTop = 40;
constexpr int kBarTop = 66;
constexpr int kBarHeight = 290;
constexpr int kHandleHalf = 6;
constexpr int kTextWidth = 60;

}  // namespace

MonitorPanel::MonitorPanel(UiContext& context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("Panel3"));
  SetSkinRole(this, SkinRole::PanelBackground);
  setAttribute(Qt::WA_StyledBackground, true);

  m_title = MakeCaption(this, QString(), Qt::AlignLeft | Qt::AlignVCenter, "monitorTitle");
  SetSkinRole(m_title, SkinRole::SectionTitle);
  m_headRow = new QWidget(this);
  m_headRow->setObjectName(QStringLiteral("StaticText120"));
  for (int i = 0; i < kChannels; ++i) {
    const auto k = static_cast<std::size_t>(i);
    m_heads[k] = MakeCaption(m_headRow, QString(), Qt::AlignCenter);
    const QByteArray barName = "suiTrackBar" + QByteArray::number(15 + i);
    const QByteArray textName = "StaticText" + QByteArray::number(121 + i);
    m_bars[k] = MakeTrackBar(this, barName.constData(), Qt::Vertical, slider::monitorLevel.minPosition,
                             slider::monitorLevel.maxPosition, 3);
    m_texts[k] = MakeValueText(this, textName.constData(), QStringLiteral("-3dB"));
    connect(m_bars[k], &QSlider::valueChanged, this, [this, i](int position) { OnMonitorLevelMoved(i, position); });
  }
  for (std::size_t s = 0; s < m_scale.size(); ++s) {
    m_scale[s] = MakeCaption(this, QString::number(-10 * static_cast<int>(s)), Qt::AlignRight | Qt::AlignVCenter);
    SetSkinRole(m_scale[s], SkinRole::ScaleCaption);
  }
}

void MonitorPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int firstColumn = width() / 2 - kPitch * (kChannels - 1) / 2;
  m_title->setGeometry(firstColumn - 60, 10, 300, 20);
  m_headRow->setGeometry(0, kHeadTop, width(), 20);
  for (int i = 0; i < kChannels; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const int x = firstColumn + kPitch * i;
    m_heads[k]->setGeometry(x - kPitch / 2, 0, kPitch, 20);
    m_bars[k]->setGeometry(x - 12, kBarTop, 24, kBarHeight);
    m_texts[k]->setGeometry(x - kTextWidth / 2, kBarTop + kBarHeight + 6, kTextWidth, 18);
  }
  const int travel = kBarHeight - 2 * kHandleHalf;
  for (std::size_t s = 0; s < m_scale.size(); ++s) {
    const int y = kBarTop + kHandleHalf + static_cast<int>(s) * travel / 7;
    m_scale[s]->setGeometry(firstColumn - 56, y - 6, 30, 12);
  }
}

void MonitorPanel::Refresh() {
  for (int i = 0; i < kChannels; ++i) {
    const int level = m_context.image.monitorLevel(i);
    m_bars[static_cast<std::size_t>(i)]->setValue(slider::monitorLevel.ToPosition(level));
    m_texts[static_cast<std::size_t>(i)]->setText(ToText(FormatMonitorDb(level)));
  }
}

void MonitorPanel::OnMonitorLevelMoved(int i, int position) {
  if (m_context.state.refreshing == 1) return;
  const int level = slider::monitorLevel.ToStored(position);
  // The unit takes the whole monitor table in one write; no graph on this tab.
  m_context.edits.Apply(EditedField::monitorLevel, 0, [i, level](ParameterImage& image) {
    image.setMonitorLevel(i, static_cast<std::uint8_t>(level));
  });
  m_texts[static_cast<std::size_t>(i)]->setText(ToText(FormatMonitorDb(level)));
}

void MonitorPanel::ApplyLanguage() {
  const AppState& state = m_context.state;
  // Row 45 pads its six words with blanks for one wide label; here each word heads its bar.
  const QStringList words = Caption(state, kHeadsRow).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
  m_headRow->setAccessibleName(Caption(state, kHeadsRow));
  m_title->setText(Caption(state, "监听输出电平", "Monitor output level"));
  for (int i = 0; i < kChannels; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const QString word = i < words.size() ? words[i] : QString();
    m_heads[k]->setText(word);
    m_bars[k]->setAccessibleName(Caption(state, "监听 ", "Monitor ") + word);
    m_texts[k]->setAccessibleName(Caption(state, "监听 ", "Monitor ") + word + QStringLiteral(" dB"));
  }
}

}  // namespace mzr
