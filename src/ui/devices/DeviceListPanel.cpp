#include "ui/devices/DeviceListPanel.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>

#include <algorithm>
#include <array>

#include "link/discovery/AddressText.h"
#include "link/discovery/DeviceDiscovery.h"
#include "link/discovery/DeviceTable.h"
#include "ui/CaptionTable.h"
#include "ui/SkinRole.h"
#include "ui/window/SideChannel.h"

namespace mzr {
namespace {

constexpr std::array<int, DeviceTable::kColumns> kColumnWidths{92, 93, 108, 96, 91, 99, 92, 92, 73};
const QColor kGridBackground(231, 231, 231);
const QColor kHeaderBackground(57, 115, 196);
const QColor kSelectedRow(0, 128, 0);
// The address fields under the grid and their captions (panel coordinates).
constexpr std::array<QPoint, 3> kLabelAt{QPoint(24, 443), QPoint(179, 443), QPoint(392, 443)};
constexpr std::array<QPoint, 3> kEditAt{QPoint(48, 440), QPoint(259, 440), QPoint(440, 440)};
constexpr int kLabelGap = 4;

// The headers of columns 1 to 8 before the language is applied.
const std::array<QString, DeviceTable::kColumns - 1>& InitialHeaders() {
  static const std::array<QString, DeviceTable::kColumns - 1> headers{
      QStringLiteral("IP"),  QStringLiteral("电影厅名称"), QStringLiteral("银幕号"),  QStringLiteral("设备型号"),
      QStringLiteral("MAC"), QStringLiteral("mask IP"),    QStringLiteral("gateway"), QStringLiteral("UDPport")};
  return headers;
}

// A magnifying glass: the search picture of the drawer.
QIcon SearchIcon() {
  QPixmap pixmap(22, 22);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kHeaderBackground, 2.5));
  painter.drawEllipse(QRectF(3, 3, 11, 11));
  painter.setPen(QPen(kHeaderBackground, 3.5, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(13, 13), QPointF(19, 19));
  return QIcon(pixmap);
}

}  // namespace

DeviceListPanel::DeviceListPanel(DeviceDiscovery& discovery, QWidget* parent) : QWidget(parent), m_discovery(discovery) {
  // The bounds below are the drawer's; the panel sits under the drawer's title.
  const auto at = [](int x, int y, int w, int h) { return QRect(x, y - SideChannel::kTitleHeight, w, h); };
  resize(576, 536 - SideChannel::kTitleHeight);

  m_searchButton = new QToolButton(this);
  m_searchButton->setObjectName(QStringLiteral("suiImageButton1"));
  m_searchButton->setGeometry(at(538, 32, 22, 22));
  m_searchButton->setIcon(SearchIcon());
  m_searchButton->setIconSize(QSize(22, 22));
  m_searchButton->setAutoRaise(true);

  // Row 0 and column 0 of the unit list are Qt's header rows, so they stay in view while
  // the 254 data rows scroll.
  m_grid = new QTableWidget(DeviceTable::kCapacity, DeviceTable::kColumns - 1, this);
  m_grid->setObjectName(QStringLiteral("suiStringGrid1"));
  SetSkinRole(m_grid, SkinRole::UnitGrid);
  m_grid->setGeometry(at(24, 56, 537, 361));
  m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
  m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_grid->setShowGrid(true);
  m_grid->setWordWrap(false);
  m_grid->verticalHeader()->setFixedWidth(kColumnWidths[0]);
  m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_grid->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  m_grid->horizontalHeader()->setSectionsClickable(false);
  m_grid->horizontalHeader()->setHighlightSections(false);
  m_grid->verticalHeader()->setHighlightSections(false);
  for (int column = 1; column < DeviceTable::kColumns; ++column) {
    m_grid->setColumnWidth(column - 1, kColumnWidths[static_cast<std::size_t>(column)]);
    m_grid->setHorizontalHeaderItem(column - 1, new QTableWidgetItem(InitialHeaders()[static_cast<std::size_t>(column - 1)]));
  }
  // The rows are numbered 1 to 254 by the header itself, and a cell gets its item when it
  // first has a text: an empty list costs no item at start-up.
  QPalette palette = m_grid->palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Base, kGridBackground);
    palette.setColor(group, QPalette::Highlight, kSelectedRow);
    palette.setColor(group, QPalette::HighlightedText, Qt::white);
  }
  m_grid->setPalette(palette);
  // The header sections are blue with white numbers and captions (drawn by the skin's style).
  SetSkinRole(m_grid->horizontalHeader(), SkinRole::UnitGridHeader);
  SetSkinRole(m_grid->verticalHeader(), SkinRole::UnitGridHeader);
  // The corner between the two headers is the table's own button, drawn as a section too.
  for (QAbstractButton* corner : m_grid->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
    SetSkinRole(corner, SkinRole::UnitGridHeader);
  m_grid->setCornerButtonEnabled(false);

  for (int i = 0; i < 3; ++i) {
    m_labels[i] = new QLabel(this);
    m_labels[i]->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    m_edits[i] = new QLineEdit(this);
    m_edits[i]->setObjectName(QStringLiteral("suiEdit%1").arg(i + 1));
    const QPoint editPoint = kEditAt[static_cast<std::size_t>(i)];
    m_edits[i]->setGeometry(at(editPoint.x(), editPoint.y(), 121, 19));
  }
  m_connectButton = new QPushButton(this);
  m_connectButton->setObjectName(QStringLiteral("suiButton24"));
  SetSkinRole(m_connectButton, SkinRole::NarrowKey);
  m_connectButton->setGeometry(at(112, 486, 105, 27));
  m_returnButton = new QPushButton(this);
  m_returnButton->setObjectName(QStringLiteral("suiButton25"));
  SetSkinRole(m_returnButton, SkinRole::NarrowKey);
  m_returnButton->setGeometry(at(265, 486, 80, 27));
  m_networkButton = new QPushButton(this);
  m_networkButton->setObjectName(QStringLiteral("suiButton26"));
  SetSkinRole(m_networkButton, SkinRole::NarrowKey);
  m_networkButton->setGeometry(at(393, 486, 112, 27));
  m_networkButton->setEnabled(false);

  ApplyCaptions([](int row) { return CaptionTable::Text(row, 0); });

  m_messageSink = [this](const QString& text, bool errorIcon) {
    QMessageBox box(errorIcon ? QMessageBox::Critical : QMessageBox::NoIcon, ErrorCaption(), text, QMessageBox::Ok,
                    window());
    box.exec();
  };

  connect(m_searchButton, &QToolButton::clicked, &m_discovery, &DeviceDiscovery::SearchDevices);
  connect(m_connectButton, &QPushButton::clicked, &m_discovery, &DeviceDiscovery::Connect);
  connect(m_returnButton, &QPushButton::clicked, this, &DeviceListPanel::hideRequested);
  connect(m_networkButton, &QPushButton::clicked, this, [this] {
    m_discovery.ChangeNetworkSettings(m_edits[0]->text(), m_edits[1]->text(), m_edits[2]->text());
  });
  connect(m_grid, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
    if (row >= 0) m_discovery.SelectRow(row + 1);
  });
  // A click on the row already selected fills the fields again from the list.
  connect(m_grid, &QTableWidget::cellClicked, this, [this](int row, int) { m_discovery.SelectRow(row + 1); });
  connect(m_grid, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { m_discovery.DoubleClickRow(row + 1); });
  connect(m_grid->verticalHeader(), &QHeaderView::sectionDoubleClicked, this,
          [this](int row) { m_discovery.DoubleClickRow(row + 1); });

  // Units listed before the panel was made.
  UpdateRows(1, DeviceTable::kCapacity);
}

void DeviceListPanel::OnSearchStarted() {
  m_networkButton->setEnabled(false);
  m_connectButton->setEnabled(false);
}

void DeviceListPanel::SelectRequestedRow(int row) {
  if (m_grid->currentRow() == row - 1) {
    m_discovery.SelectRow(row);
  } else {
    m_grid->setCurrentCell(row - 1, 0);
  }
  m_grid->scrollTo(m_grid->model()->index(row - 1, 0));
}

void DeviceListPanel::ApplyCaptions(const std::function<QString(int row)>& caption) {
  for (int i = 0; i < 3; ++i) m_labels[i]->setText(caption(121 + i));
  for (int i = 0; i < 3; ++i) {
    // A caption longer than the room before its edit ("Gateway") grows to the left instead
    // of running under the edit.
    QLabel* label = m_labels[i];
    label->adjustSize();
    const QPoint labelPoint = kLabelAt[static_cast<std::size_t>(i)];
    const int rightLimit = kEditAt[static_cast<std::size_t>(i)].x() - kLabelGap;
    label->move(std::min(labelPoint.x(), rightLimit - label->width()), labelPoint.y() - SideChannel::kTitleHeight);
  }
  m_connectButton->setText(caption(124));
  m_returnButton->setText(caption(125));
  m_networkButton->setText(caption(126));
  for (int column = 2; column <= 4; ++column) m_grid->horizontalHeaderItem(column - 1)->setText(caption(126 + column));
}

QString DeviceListPanel::cellText(int row, int column) const {
  if (row == 0) return column == 0 ? QString() : m_grid->horizontalHeaderItem(column - 1)->text();
  if (column == 0) return m_grid->model()->headerData(row - 1, Qt::Vertical).toString();
  const QTableWidgetItem* item = m_grid->item(row - 1, column - 1);
  return item != nullptr ? item->text() : QString();
}

void DeviceListPanel::UpdateRows(int first, int last) {
  const DeviceTable& table = m_discovery.table();
  for (int row = first; row <= last; ++row) {
    bool listed = false;  // a row that lists a unit has an item in every cell
    for (int column = 1; column < DeviceTable::kColumns; ++column) listed = listed || !table.cell(row, column).isEmpty();
    for (int column = 1; column < DeviceTable::kColumns; ++column) {
      QTableWidgetItem* item = m_grid->item(row - 1, column - 1);
      const QString& text = table.cell(row, column);
      if (item == nullptr) {
        if (listed) m_grid->setItem(row - 1, column - 1, new QTableWidgetItem(text));
      } else if (item->text() != text) {
        item->setText(text);
      }
    }
  }
}

void DeviceListPanel::OnSearchCompleted() {
  emit showRequested();
  // Selecting row 254 runs the selection step for it even when it is already current.
  if (m_grid->currentRow() == DeviceTable::kCapacity - 1) {
    m_discovery.SelectRow(DeviceTable::kCapacity);
  } else {
    m_grid->setCurrentCell(DeviceTable::kCapacity - 1, 0);
  }
  m_grid->scrollToTop();
}

void DeviceListPanel::OnSelectionChanged(bool rowListed, const QString& ip, const QString& mask, const QString& gateway) {
  m_networkButton->setEnabled(rowListed);
  m_connectButton->setEnabled(rowListed);
  m_edits[0]->setText(ip);
  m_edits[1]->setText(mask);
  m_edits[2]->setText(gateway);
}

void DeviceListPanel::ShowMessage(const QString& text) {
  // The network-settings messages carry the error icon; the address-conversion and local
  // address messages are plain boxes.
  const bool plain = text == InvalidAddressMessage() || text == LocalIpMissingMessage();
  if (m_messageSink) m_messageSink(text, !plain);
}

}  // namespace mzr
