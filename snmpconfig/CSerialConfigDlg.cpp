#include "snmpconfig/CSerialConfigDlg.h"

#include "resources/CIpAddressCtrl.h"
#include "snmpconfig/CSnmpAccess.h"
#include "resources/DataExchange.h"
#include "resources/MessageBox.h"
#include "resources/ResourceIds.h"
#include "core/SerialSettings.h"
#include "snmpconfig/SnmpDialogSupport.h"
#include "resources/TextParsers.h"

#include <QComboBox>
#include <QLineEdit>
#include <QtEndian>

namespace Ids = SerialConfigIds;

CSerialConfigDlg::CSerialConfigDlg(quint32 nodeAddress, CSnmpAccess& snmp, QWidget* parent)
    : CTemplateDialog(IDD_SERIAL_CONFIG, parent), m_snmp(snmp), m_nodeAddress(nodeAddress),
      m_nodeAddressCtrl(Item<CIpAddressCtrl>(Ids::NodeAddress)),
      m_portNumberEdit(Item<QLineEdit>(Ids::PortNumber)),
      m_connectionMode(Item<QComboBox>(Ids::ConnectionMode)),
      m_peerAddressCtrl(Item<CIpAddressCtrl>(Ids::PeerAddress)), m_bitRate(Item<QComboBox>(Ids::BitRate)),
      m_dataLength(Item<QComboBox>(Ids::DataLength)), m_stopBits(Item<QComboBox>(Ids::StopBits)),
      m_parity(Item<QComboBox>(Ids::Parity)), m_flowControl(Item<QComboBox>(Ids::FlowControl))
{
    Q_ASSERT(m_nodeAddressCtrl && m_portNumberEdit && m_connectionMode && m_peerAddressCtrl && m_bitRate &&
             m_dataLength && m_stopBits && m_parity && m_flowControl);
    OnCommand(Ids::Get, [this] { OnGet(); });
    OnCommand(Ids::Set, [this] { OnSet(); });
}

CSerialConfigDlg::~CSerialConfigDlg() = default;

bool CSerialConfigDlg::DoDataExchange(bool save)
{
    DataExchange dx(this, save);
    return dx.Text(Ids::PortNumber, m_portNumber) &&
           dx.MinMax(m_portNumber, SerialRules::kMinPortNumber, SerialRules::kMaxPortNumber);
}

void CSerialConfigDlg::OnInitDialog()
{
    CTemplateDialog::OnInitDialog();

    m_nodeAddressCtrl->SetAddress(m_nodeAddress);
    m_connectionMode->setCurrentIndex(0);
    m_peerAddressCtrl->SetAddress(0);
    m_bitRate->setCurrentIndex(m_bitRate->findText(QStringLiteral("9600"), Qt::MatchExactly));
    m_dataLength->setCurrentIndex(3);
    m_stopBits->setCurrentIndex(0);
    m_parity->setCurrentIndex(0);
    m_flowControl->setCurrentIndex(0);

    if (m_nodeAddress != 0)
        LoadSettings();
}

void CSerialConfigDlg::ReadControls(SerialSettings& settings) const
{
    quint32 peer = 0;
    m_peerAddressCtrl->GetAddress(peer);
    settings.portNumber = m_portNumber;
    settings.connectionMode = m_connectionMode->currentIndex();
    settings.peerAddress = static_cast<qint32>(qToBigEndian(peer));
    // Every item is a plain number; an empty list selection reads as 0.
    settings.bitRate = static_cast<qint32>(ParseUnsignedInt(m_bitRate->currentText()).value_or(0));
    settings.dataLength = m_dataLength->currentIndex();
    settings.stopBits = m_stopBits->currentIndex();
    settings.parity = m_parity->currentIndex();
    settings.flowControl = m_flowControl->currentIndex();
}

void CSerialConfigDlg::LoadSettings()
{
    quint32 node = 0;
    if (!GetCompleteAddress(this, m_nodeAddressCtrl, IDS_SET_NODE_ADDRESS, node))
        return;
    const QByteArray peer = DottedAddress(node);

    // Variables a reply leaves out keep what the controls show.
    SerialSettings settings;
    ReadControls(settings);
    if (!m_snmp.GetSerialSettings(peer.constData(), settings)) {
        MessageBox::Show(this, IDS_GET_FAILED);
        return;
    }

    m_portNumber = settings.portNumber;
    SelectPosition(m_connectionMode, settings.connectionMode);
    m_peerAddressCtrl->SetAddress(qFromBigEndian(static_cast<quint32>(settings.peerAddress)));
    const int bitRate = m_bitRate->findText(QString::number(settings.bitRate), Qt::MatchStartsWith);
    if (bitRate >= 0)
        m_bitRate->setCurrentIndex(bitRate);
    SelectPosition(m_dataLength, settings.dataLength);
    SelectPosition(m_stopBits, settings.stopBits);
    SelectPosition(m_parity, settings.parity);
    SelectPosition(m_flowControl, settings.flowControl);
    UpdateData(false);
}

void CSerialConfigDlg::OnGet()
{
    LoadSettings();
}

void CSerialConfigDlg::OnSet()
{
    quint32 node = 0;
    if (!GetCompleteAddress(this, m_nodeAddressCtrl, IDS_SET_NODE_ADDRESS, node))
        return;
    // The peer address is checked even when the port number failed, so the operator learns of
    // both problems at once.
    const bool exchanged = UpdateData(true);
    quint32 unused = 0;
    if (!GetCompleteAddress(this, m_peerAddressCtrl, IDS_SET_PEER_ADDRESS, unused))
        return;
    if (!exchanged || m_portNumber < SerialRules::kMinPortNumber ||
        m_portNumber > SerialRules::kMaxPortNumber)
        return;

    SerialSettings settings;
    ReadControls(settings);
    const QByteArray peer = DottedAddress(node);
    const bool written = m_snmp.SetSerialSettings(peer.constData(), settings);
    MessageBox::Show(this, written ? IDS_SET_DONE : IDS_SET_FAILED);
}
