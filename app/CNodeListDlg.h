#pragma once

#include "protocol/CNodeProtocol.h"
#include "resources/CTemplateDialog.h"
#include "protocol/NodeInfo.h"
#include "protocol/NodePacketEvent.h"

#include <QIcon>

#include <cstdint>
#include <memory>
#include <unordered_map>

class CNodeRow;
class CSnmpAccess;
class CWaitReplyDlg;
class QTreeWidget;

// The main window: the list of nodes found by a search, and the start of every other operation.
//
// Owns the protocol engine (socket and receive thread, from construction to destruction), the
// receiver the engine hands its replies to, and the rows, each of which owns a copy of its node's
// record. Replies reach it in batches, as posted WM_NODE_PACKET events; it closes the engine
// before it goes away. The SNMP access is borrowed and must outlive it. GUI thread only.
class CNodeListDlg final : public CTemplateDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CNodeListDlg)

  public:
    // snmp: what the serial and I/O commands hand to their dialogs. local and destination go to
    // the engine; tests pass loopback endpoints.
    explicit CNodeListDlg(CSnmpAccess& snmp, UdpEndpoint local = CNodeProtocol::kLocalEndpoint,
                          UdpEndpoint destination = CNodeProtocol::kRequestDestination,
                          QWidget* parent = nullptr);
    ~CNodeListDlg() override;

    // The rows, as the commands, the tests and the benchmark see them.
    QTreeWidget* NodeList() const { return m_nodeList; }
    int RowCount() const;
    const NodeInfo* RowRecord(int row) const; // nullptr when there is no such row
    int SelectedRow() const;                  // first selected row, or -1
    const NodeInfo* SelectedNode() const;     // its record, or nullptr
    // The interface the selected node's reply came in on; 0 when none is selected or not known.
    unsigned SelectedNodeInterface() const;
    // Index of the row with the record's MAC address, or -1.
    int FindRowByMac(const NodeInfo& record) const;
    // interfaceIndex: where the reply came in (0 when not known); the row keeps it.
    bool AddNodeRow(const NodeInfo& record, unsigned interfaceIndex = 0);

    // The reply wait: packets count only while one runs and only with the outstanding id.
    CNodeProtocol& Protocol() { return m_protocol; }
    quint32 OutstandingTransactionId() const { return m_transactionId; }
    void SetOutstandingTransactionId(quint32 id) { m_transactionId = id; }
    // Non-null exactly while a reply wait runs.
    CWaitReplyDlg* WaitDialog() const { return m_waitDlg; }
    // Runs a reply wait of waitMs: the wait dialog is reachable through WaitDialog() while it runs,
    // so an accepted reply can end it. Returns its result code.
    int RunWaitDialog(quint32 waitMs);

  protected:
    void OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnClose() override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnSearch();
    // Takes the record; it is released on every path. interfaceIndex: where it came in.
    void OnNodePacket(std::unique_ptr<NodeInfo> record, unsigned interfaceIndex = 0);
    void OnSearchReply(const NodeInfo& record, unsigned interfaceIndex);
    void OnSetAddressReply(const NodeInfo& record, unsigned interfaceIndex);
    // Ascending order of two rows' records by a column; negative, 0 or positive.
    static int CompareNodes(const NodeInfo& a, const NodeInfo& b, int column);
    void OnNodeListItemChanged();
    void OnNodeListColumnClick(int column);

    // The settings commands (each in a file of its own).
    void OnIpSetting();
    // True when it ran the command (a row was selected).
    bool OnNodeListDblClk();
    void OnSerialSetting();
    void OnGpioSetting();
    // The selected node's IPv4 address in host order, 0 when none is selected.
    quint32 SelectedNodeAddress() const;
    CSnmpAccess& SnmpAccess() const { return m_snmp; }

    static quint64 MacKey(const NodeInfo& record);
    // True when the list's viewport must not see the mouse event.
    bool FilterListMouse(QEvent* event);
    void EndWait(int result);
    CNodeRow* RowAt(int row) const;
    void ReleaseAllRows();
    void RemoveRow(CNodeRow* row);

    QIcon m_icon;
    CWaitReplyDlg* m_waitDlg = nullptr;
    quint32 m_transactionId = 0;
    CSnmpAccess& m_snmp;
    // Before the engine, which is closed first thing in the destructor: it never delivers to a
    // receiver that is gone.
    CWindowReceiver m_receiver;
    CNodeProtocol m_protocol;
    QTreeWidget* m_nodeList = nullptr;
    // Set while what is left of a press whose double click ran a command may still reach the list.
    bool m_commandTookPress = false;
    // Listed MAC addresses beside the rows, so that a reply does not scan the list.
    std::unordered_map<quint64, CNodeRow*> m_rowsByMac;
};
