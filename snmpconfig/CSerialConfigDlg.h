#pragma once

#include "snmpconfig/CSnmpAccess.h"
#include "resources/CTemplateDialog.h"
#include "core/SettingRules.h"

#include <QtGlobal>

class CIpAddressCtrl;
class QComboBox;
class QLineEdit;
struct SerialSettings;

// Reads and writes a board's serial-port server settings over SNMP (template 135). Every read
// and write is a complete exchange through the dialog's CSnmpAccess; the controls are the only
// copy of the settings. GUI thread only.
class CSerialConfigDlg final : public CTemplateDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSerialConfigDlg)

  public:
    // nodeAddress: host order (first octet most significant), 0 for no node; with a node the
    // settings are read while the dialog is initialised, before it is shown.
    // snmp: every request of the dialog goes through it.
    explicit CSerialConfigDlg(quint32 nodeAddress, CSnmpAccess& snmp, QWidget* parent = nullptr);
    ~CSerialConfigDlg() override;

    void LoadSettings();
    void OnGet();
    void OnSet();

    qint32 PortNumber() const { return m_portNumber; }

  protected:
    void OnInitDialog() override;
    bool DoDataExchange(bool save) override;

  private:
    // The record as the controls show it; lists without selection give -1.
    void ReadControls(SerialSettings& settings) const;

    CSnmpAccess& m_snmp;
    const quint32 m_nodeAddress;
    qint32 m_portNumber = SerialRules::kDefaultPortNumber;

    CIpAddressCtrl* m_nodeAddressCtrl;
    QLineEdit* m_portNumberEdit;
    QComboBox* m_connectionMode;
    CIpAddressCtrl* m_peerAddressCtrl;
    QComboBox* m_bitRate;
    QComboBox* m_dataLength;
    QComboBox* m_stopBits;
    QComboBox* m_parity;
    QComboBox* m_flowControl;
};
