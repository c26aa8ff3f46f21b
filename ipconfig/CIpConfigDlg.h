#pragma once

#include "resources/CTemplateDialog.h"
#include "protocol/NetworkSettings.h"

class CIpAddressCtrl;
class QCheckBox;

// The IP settings of one node: DHCP, or a fixed address, mask and optional gateway. Edits a copy
// of the settings handed in with SetNetworkSettings(); DoModal() returns IDOK only when the
// operator's settings passed every check and differ from that copy, and GetNetworkSettings() then
// holds them. On Cancel the held settings are the ones handed in. GUI thread only.
class CIpConfigDlg final : public CTemplateDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CIpConfigDlg)

  public:
    explicit CIpConfigDlg(QWidget* parent = nullptr);
    ~CIpConfigDlg() override;

    void SetNetworkSettings(const NetworkSettings& settings) { m_settings = settings; }
    const NetworkSettings& GetNetworkSettings() const { return m_settings; }

  protected:
    void OnInitDialog() override;
    void OnOK() override;

  private:
    void OnDhcpClicked();
    void OnGatewayClicked();
    // The fixed settings the controls hold, or false after telling the operator which is missing.
    bool ReadFixedSettings(NetworkSettings& settings);

    QCheckBox* m_gatewayCheck;
    QCheckBox* m_dhcpCheck;
    CIpAddressCtrl* m_subnetMask;
    CIpAddressCtrl* m_ipAddress;
    CIpAddressCtrl* m_gateway;
    NetworkSettings m_settings;
};
