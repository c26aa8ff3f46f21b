#include "ipconfig/CIpConfigDlg.h"

#include "ipconfig/AddressRuleMessage.h"
#include "resources/CIpAddressCtrl.h"
#include "resources/MessageBox.h"
#include "resources/ResourceIds.h"

#include <QCheckBox>

#include <arpa/inet.h>

CIpConfigDlg::CIpConfigDlg(QWidget* parent)
    : CTemplateDialog(IDD_IP_CONFIG, parent), m_gatewayCheck(Item<QCheckBox>(IpConfigIds::UseGateway)),
      m_dhcpCheck(Item<QCheckBox>(IpConfigIds::UseDhcp)),
      m_subnetMask(Item<CIpAddressCtrl>(IpConfigIds::SubnetMask)),
      m_ipAddress(Item<CIpAddressCtrl>(IpConfigIds::IpAddress)),
      m_gateway(Item<CIpAddressCtrl>(IpConfigIds::Gateway))
{
    Q_ASSERT(m_gatewayCheck && m_dhcpCheck && m_subnetMask && m_ipAddress && m_gateway);
    OnCommand(IpConfigIds::UseDhcp, [this] { OnDhcpClicked(); });
    OnCommand(IpConfigIds::UseGateway, [this] { OnGatewayClicked(); });
}

CIpConfigDlg::~CIpConfigDlg() = default;

void CIpConfigDlg::OnInitDialog()
{
    CTemplateDialog::OnInitDialog();

    m_ipAddress->SetAddress(ntohl(m_settings.GetIpAddress()));
    m_subnetMask->SetAddress(ntohl(m_settings.GetSubnetMask()));
    m_gateway->SetAddress(ntohl(m_settings.GetGateway()));

    if (m_settings.IsDhcp()) {
        m_dhcpCheck->setChecked(true);
        m_ipAddress->setEnabled(false);
        m_subnetMask->setEnabled(false);
        m_gateway->setEnabled(false);
        m_gatewayCheck->setEnabled(false);
    }
    if (m_settings.GetGateway() == 0) {
        m_gateway->setEnabled(false);
    } else {
        m_gatewayCheck->setChecked(true);
    }
}

void CIpConfigDlg::OnDhcpClicked()
{
    const bool fixed = !m_dhcpCheck->isChecked();
    m_ipAddress->setEnabled(fixed);
    m_subnetMask->setEnabled(fixed);
    m_gatewayCheck->setEnabled(fixed);
    m_gateway->setEnabled(fixed && m_gatewayCheck->isChecked());
}

void CIpConfigDlg::OnGatewayClicked()
{
    m_gateway->setEnabled(m_gatewayCheck->isChecked());
}

bool CIpConfigDlg::ReadFixedSettings(NetworkSettings& settings)
{
    quint32 address = 0;
    if (m_ipAddress->GetAddress(address) != 4) {
        MessageBox::Show(this, IDS_NO_IP_ADDRESS);
        return false;
    }
    settings.SetIpAddress(htonl(address));

    if (m_subnetMask->GetAddress(address) != 4) {
        MessageBox::Show(this, IDS_NO_SUBNET_MASK);
        return false;
    }
    settings.SetSubnetMask(htonl(address));

    if (m_gatewayCheck->isChecked()) {
        if (m_gateway->GetAddress(address) != 4) {
            MessageBox::Show(this, IDS_NO_GATEWAY);
            return false;
        }
        settings.SetGateway(htonl(address));
    }
    return true;
}

void CIpConfigDlg::OnOK()
{
    // With DHCP what the greyed controls show is not read: the node keeps its last fixed addresses.
    const bool dhcp = m_dhcpCheck->isChecked();
    NetworkSettings entered;
    if (!dhcp) {
        if (!ReadFixedSettings(entered)) {
            return;
        }
        // The same verdict as NetworkSettings::Validate, as a string id for the message box.
        if (const AddressRule failed = FirstFailedAddressRule(entered); failed != AddressRule::None) {
            MessageBox::Show(this, AddressRuleMessageId(failed));
            return;
        }
    }
    const std::optional<NetworkSettings> toSend = SettingsToSend(m_settings, dhcp, entered);
    if (!toSend) {
        MessageBox::Show(this, IDS_NOT_CHANGED);
        return;
    }
    m_settings = *toSend;
    EndDialog(IDOK);
}
