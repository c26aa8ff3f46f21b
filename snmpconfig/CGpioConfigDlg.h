#pragma once

#include "snmpconfig/CSnmpAccess.h"
#include "resources/CTemplateDialog.h"

#include <QtGlobal>

class CIpAddressCtrl;
class QComboBox;
class QLineEdit;

// Reads and writes a board's general-purpose I/O settings over SNMP, one of its eight ports at a
// time (template 137). Every read and write goes through the dialog's CSnmpAccess; the controls
// are the only copy of the settings. GUI thread only.
class CGpioConfigDlg final : public CTemplateDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CGpioConfigDlg)

  public:
    // nodeAddress: host order (first octet most significant), 0 for no node; with a node port 1
    // is read while the dialog is initialised, before it is shown.
    // snmp: every request of the dialog goes through it.
    explicit CGpioConfigDlg(quint32 nodeAddress, CSnmpAccess& snmp, QWidget* parent = nullptr);
    ~CGpioConfigDlg() override;

    void LoadSettings();
    void UpdateControlStates();
    void OnGet();
    void OnSet();
    void OnPortChange();

    quint32 Period() const { return m_period; }
    quint32 TrapTime() const { return m_trapTime; }

  protected:
    void OnInitDialog() override;
    bool DoDataExchange(bool save) override;

  private:
    CSnmpAccess& m_snmp;
    CIpAddressCtrl* m_nodeAddressCtrl;
    CIpAddressCtrl* m_managerAddressCtrl;
    QLineEdit* m_periodEdit;
    QComboBox* m_port;
    QComboBox* m_mode;
    QComboBox* m_state;
    QComboBox* m_initialState;
    QComboBox* m_trapState;
    QLineEdit* m_trapTimeEdit;

    quint32 m_period = 100;
    quint32 m_trapTime = 0;
    const quint32 m_nodeAddress;
};
