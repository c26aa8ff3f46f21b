#include "app/CNodeListDlg.h"

#include "app/CNodeRow.h"
#include "app/CWaitReplyDlg.h"
#include "core/ReplyAttribution.h"

#include "resources/AppIcon.h"
#include "resources/MessageBox.h"
#include "protocol/NodePacketEvent.h"
#include "resources/ResourceIds.h"
#include "protocol/Trace.h"

#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeWidget>

#include <algorithm>
#include <cstring>
#include <vector>

#include <arpa/inet.h>

namespace {

struct ColumnLayout
{
    const char* header;
    int width;
};

constexpr ColumnLayout kColumns[] = {
    {"mac address", 110}, {"ip address", 110}, {"subnet mask", 110}, {"default gw", 110}, {"DHCP", 60},
};

template <class T> int Order(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Records whose rows hold, between them, the widest text each column can show: every hex digit as
// all twelve digits of the MAC address, every byte value as all four bytes of each address, DHCP
// on and off, and (from byte 0) no gateway. Digits need not be equally wide, and which is widest
// depends on the font.
std::vector<NodeInfo> WidestTextRecords()
{
    std::vector<NodeInfo> records(256);
    for (uint32_t value = 0; value < records.size(); ++value) {
        NodeInfo& record = records[value];
        const auto hexDigitTwice = uint8_t((value % 16) * 0x11);
        const uint8_t mac[NodeInfo::kMacLength] = {hexDigitTwice, hexDigitTwice, hexDigitTwice,
                                                   hexDigitTwice, hexDigitTwice, hexDigitTwice};
        record.SetMacAddress(mac);
        const uint32_t address = value * 0x01010101u; // the same in either byte order
        NetworkSettings& settings = record.GetSettings();
        settings.SetIpAddress(address);
        settings.SetSubnetMask(address);
        settings.SetGateway(address);
        settings.SetDhcp(int32_t(value % 2));
    }
    return records;
}

// The width a cell of the list needs to show text whole: the text and the margins the view's
// style keeps around it.
int CellWidth(const QTreeWidget* list, const QString& text)
{
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.font = list->font();
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = text;
    return list->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), list).width();
}

// The template's width is the least a column gets; more when its header or the widest text a row
// can show in it needs more in the list's font.
std::vector<int> ColumnWidths(const QTreeWidget* list)
{
    const QFontMetricsF metrics(list->font());
    QStringList widest(qsizetype(std::size(kColumns)));
    for (const NodeInfo& record : WidestTextRecords()) {
        const QStringList texts = CNodeRow::ColumnTexts(record);
        for (qsizetype column = 0; column < widest.size(); ++column) {
            if (metrics.horizontalAdvance(texts[column]) > metrics.horizontalAdvance(widest[column])) {
                widest[column] = texts[column];
            }
        }
    }
    std::vector<int> widths;
    for (qsizetype column = 0; column < widest.size(); ++column) {
        widths.push_back(std::max({kColumns[column].width, CellWidth(list, widest[column]),
                                   list->header()->sectionSizeHint(int(column))}));
    }
    return widths;
}

} // namespace

CNodeListDlg::CNodeListDlg(CSnmpAccess& snmp, UdpEndpoint local, UdpEndpoint destination, QWidget* parent)
    : CTemplateDialog(IDD_NODE_LIST, parent), m_icon(AppIcon()), m_snmp(snmp), m_receiver(this),
      m_protocol(local, destination, m_receiver)
{
    m_nodeList = Item<QTreeWidget>(NodeListIds::NodeList);

    OnCommand(NodeListIds::Search, [this] { OnSearch(); });
    OnCommand(NodeListIds::IpSetting, [this] { OnIpSetting(); });
    OnCommand(NodeListIds::Serial, [this] { OnSerialSetting(); });
    OnCommand(NodeListIds::Gpio, [this] { OnGpioSetting(); });

    connect(m_nodeList, &QTreeWidget::itemSelectionChanged, this, &CNodeListDlg::OnNodeListItemChanged);
    connect(m_nodeList->header(), &QHeaderView::sectionClicked, this, &CNodeListDlg::OnNodeListColumnClick);
    // A double click anywhere in the list counts, not only on a row.
    m_nodeList->viewport()->installEventFilter(this);
}

CNodeListDlg::~CNodeListDlg()
{
    // Nothing may reach this object once its destruction has begun: the engine stops posting
    // first; events already queued die with the QObject.
    m_protocol.Close();

    m_nodeList->viewport()->removeEventFilter(this);
    disconnect(m_nodeList, nullptr, this, nullptr);
    disconnect(m_nodeList->header(), nullptr, this, nullptr);
    ReleaseAllRows();
}

void CNodeListDlg::OnInitDialog()
{
    CTemplateDialog::OnInitDialog();

    setWindowIcon(m_icon);

    m_nodeList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_nodeList->setAllColumnsShowFocus(true);
    m_nodeList->setColumnCount(static_cast<int>(std::size(kColumns)));
    QStringList headers;
    for (const ColumnLayout& column : kColumns) {
        headers << QString::fromLatin1(column.header);
    }
    m_nodeList->setHeaderLabels(headers);
    const std::vector<int> widths = ColumnWidths(m_nodeList);
    for (int i = 0; i < static_cast<int>(widths.size()); ++i) {
        m_nodeList->headerItem()->setTextAlignment(i, Qt::AlignLeft | Qt::AlignVCenter);
        m_nodeList->setColumnWidth(i, widths[size_t(i)]);
    }

    OnSearch();
}

void CNodeListDlg::OnOK()
{
    ReleaseAllRows();
    EndDialog(IDOK);
}

void CNodeListDlg::OnCancel()
{
    // Esc leaves the main window open.
}

void CNodeListDlg::OnClose()
{
    EndDialog(0);
}

bool CNodeListDlg::event(QEvent* event)
{
    if (event->type() == WM_NODE_PACKET) {
        // A batch: each record on its own, through every check, so that one that ends the wait
        // closes it to those behind it.
        for (ReceivedNode& node : static_cast<CNodePacketEvent*>(event)->TakeNodes()) {
            OnNodePacket(std::move(node.record), node.interfaceIndex);
        }
        return true;
    }
    return CTemplateDialog::event(event);
}

bool CNodeListDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_nodeList->viewport() && FilterListMouse(event)) {
        return true;
    }
    return CTemplateDialog::eventFilter(watched, event);
}

// A double click that runs the IP settings command ends the press it belongs to. The command's
// modal run swallows the release, and the view would handle the double click only after the run:
// finding another row, or a new one, where its pressed row stood, it would take the double click
// for a fresh press and select that row. So the view sees neither the double click nor the rest of
// that press (moves with the button still down, the release); the next press is the view's again.
bool CNodeListDlg::FilterListMouse(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        // Anywhere in the list, not only on a row.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && OnNodeListDblClk()) {
            m_commandTookPress = true;
            return true;
        }
        return false;
    case QEvent::MouseButtonPress:
        m_commandTookPress = false;
        return false;
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
        const bool taken = m_commandTookPress;
        m_commandTookPress = taken && static_cast<QMouseEvent*>(event)->buttons().testFlag(Qt::LeftButton);
        return taken;
    }
    default:
        return false;
    }
}

void CNodeListDlg::OnSearch()
{
    ReleaseAllRows();
    OnNodeListItemChanged();

    m_transactionId = m_protocol.SendSearchRequest();
    if (m_transactionId == 0) {
        MessageBox::Show(this, IDS_SEND_FAILED);
        return;
    }
    RunWaitDialog(CNodeProtocol::kSearchWaitMs);
}

int CNodeListDlg::RunWaitDialog(quint32 waitMs)
{
    auto dialog = std::make_unique<CWaitReplyDlg>(waitMs);
    m_waitDlg = dialog.get();
    const int result = dialog->DoModal();
    m_waitDlg = nullptr;
    return result;
}

void CNodeListDlg::OnNodePacket(std::unique_ptr<NodeInfo> record, unsigned interfaceIndex)
{
    LF_TRACE("main window received message\n");
    if (!record) {
        return;
    }
    if (!ReplyAttribution::CarriesId(*record, m_transactionId)) {
        LF_TRACE("not same transaction id packet has received\n");
        return;
    }
    // An ended wait is over even before its modal loop has returned: packets queued behind the one
    // that ended it are dispatched in the same pass.
    if (m_waitDlg == nullptr || m_waitDlg->IsEnded()) {
        LF_TRACE("Not waiting for message (maybe timeout)\n");
        return;
    }
    switch (ReplyAttribution::OpCode(*record)) {
    case OP_SEARCH_REPLY:
        OnSearchReply(*record, interfaceIndex);
        break;
    case OP_SET_ADDRESS_REPLY:
        OnSetAddressReply(*record, interfaceIndex);
        break;
    default:
        break;
    }
}

void CNodeListDlg::OnSearchReply(const NodeInfo& record, unsigned interfaceIndex)
{
    if (m_rowsByMac.find(MacKey(record)) == m_rowsByMac.end()) {
        AddNodeRow(record, interfaceIndex);
    }
}

void CNodeListDlg::OnSetAddressReply(const NodeInfo& record, unsigned interfaceIndex)
{
    // Any MAC counts here: the reply is listed as it came.
    if (!ReplyAttribution::SettingsTaken(record)) {
        const uint32_t result = ntohl(record.GetResult());
        LF_TRACE("IP offer request's result : %d\n", static_cast<int>(result));
        EndWait(WAIT_RESULT_FAILED);
        LF_TRACE("set ip address failed, reason : %d\n", static_cast<int>(result));
        return;
    }
    EndWait(WAIT_RESULT_SUCCEEDED);
    if (const auto it = m_rowsByMac.find(MacKey(record)); it != m_rowsByMac.end()) {
        RemoveRow(it->second);
    }
    AddNodeRow(record, interfaceIndex);
}

void CNodeListDlg::EndWait(int result)
{
    if (m_waitDlg != nullptr) {
        m_waitDlg->EndDialog(result);
    }
}

int CNodeListDlg::FindRowByMac(const NodeInfo& record) const
{
    const auto it = m_rowsByMac.find(MacKey(record));
    return it == m_rowsByMac.end() ? -1 : m_nodeList->indexOfTopLevelItem(it->second);
}

bool CNodeListDlg::AddNodeRow(const NodeInfo& record, unsigned interfaceIndex)
{
    auto* row = new CNodeRow(record, interfaceIndex);
    m_nodeList->addTopLevelItem(row);
    // A second row for a listed MAC (only a set-address reply can ask for one) still gets listed;
    // the index keeps the first.
    m_rowsByMac.emplace(MacKey(record), row);
    return true;
}

int CNodeListDlg::CompareNodes(const NodeInfo& a, const NodeInfo& b, int column)
{
    const NetworkSettings& sa = a.GetSettings();
    const NetworkSettings& sb = b.GetSettings();
    switch (column) {
    case 0: {
        const int order = std::memcmp(a.GetMacAddress(), b.GetMacAddress(), NodeInfo::kMacLength);
        return Order(order, 0);
    }
    // Addresses in numeric order, i.e. dotted order: 9.x comes before 10.x.
    case 1:
        return Order(ntohl(sa.GetIpAddress()), ntohl(sb.GetIpAddress()));
    case 2:
        return Order(ntohl(sa.GetSubnetMask()), ntohl(sb.GetSubnetMask()));
    case 3:
        return Order(ntohl(sa.GetGateway()), ntohl(sb.GetGateway()));
    case 4:
        return Order(sa.GetDhcpText(), sb.GetDhcpText());
    default:
        return 0;
    }
}

void CNodeListDlg::OnNodeListItemChanged()
{
    if (auto* button = Item<QPushButton>(NodeListIds::IpSetting)) {
        button->setEnabled(SelectedRow() >= 0);
    }
}

void CNodeListDlg::OnNodeListColumnClick(int column)
{
    QTreeWidgetItem* selected = nullptr;
    if (const QList<QTreeWidgetItem*> items = m_nodeList->selectedItems(); !items.isEmpty()) {
        selected = items.first();
    }
    QTreeWidgetItem* current = m_nodeList->currentItem();

    {
        // The rows leave the list only to come back in a new order; their selection comes with them.
        const QSignalBlocker blocker(m_nodeList);
        QList<QTreeWidgetItem*> rows = m_nodeList->invisibleRootItem()->takeChildren();
        std::stable_sort(rows.begin(), rows.end(),
                         [column](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                             return CompareNodes(static_cast<const CNodeRow*>(a)->Record(),
                                                 static_cast<const CNodeRow*>(b)->Record(), column) < 0;
                         });
        m_nodeList->addTopLevelItems(rows);
        if (current != nullptr) {
            m_nodeList->selectionModel()->setCurrentIndex(m_nodeList->indexFromItem(current),
                                                          QItemSelectionModel::NoUpdate);
        }
        if (selected != nullptr) {
            selected->setSelected(true);
        }
    }
    OnNodeListItemChanged();
}

int CNodeListDlg::RowCount() const
{
    return m_nodeList->topLevelItemCount();
}

CNodeRow* CNodeListDlg::RowAt(int row) const
{
    QTreeWidgetItem* item = m_nodeList->topLevelItem(row);
    return item != nullptr && item->type() == CNodeRow::kType ? static_cast<CNodeRow*>(item) : nullptr;
}

const NodeInfo* CNodeListDlg::RowRecord(int row) const
{
    const CNodeRow* item = RowAt(row);
    return item != nullptr ? &item->Record() : nullptr;
}

int CNodeListDlg::SelectedRow() const
{
    const QList<QTreeWidgetItem*> items = m_nodeList->selectedItems();
    if (items.isEmpty()) {
        return -1;
    }
    int first = -1;
    for (QTreeWidgetItem* item : items) {
        const int index = m_nodeList->indexOfTopLevelItem(item);
        if (index >= 0 && (first < 0 || index < first)) {
            first = index;
        }
    }
    return first;
}

const NodeInfo* CNodeListDlg::SelectedNode() const
{
    const int row = SelectedRow();
    return row >= 0 ? RowRecord(row) : nullptr;
}

unsigned CNodeListDlg::SelectedNodeInterface() const
{
    const CNodeRow* row = RowAt(SelectedRow());
    return row != nullptr ? row->InterfaceIndex() : 0;
}

quint32 CNodeListDlg::SelectedNodeAddress() const
{
    const NodeInfo* node = SelectedNode();
    return node != nullptr ? ntohl(node->GetSettings().GetIpAddress()) : 0;
}

quint64 CNodeListDlg::MacKey(const NodeInfo& record)
{
    quint64 key = 0;
    const uint8_t* mac = record.GetMacAddress();
    for (int i = 0; i < NodeInfo::kMacLength; ++i) {
        key = (key << 8) | mac[i];
    }
    return key;
}

void CNodeListDlg::ReleaseAllRows()
{
    m_rowsByMac.clear();
    m_nodeList->clear();
}

void CNodeListDlg::RemoveRow(CNodeRow* row)
{
    const bool wasSelected = row->isSelected();
    if (const auto it = m_rowsByMac.find(MacKey(row->Record()));
        it != m_rowsByMac.end() && it->second == row) {
        m_rowsByMac.erase(it);
    }
    delete row;
    // The view would select the next row in its place; a deleted selection leaves none.
    if (wasSelected) {
        m_nodeList->clearSelection();
    }
}
