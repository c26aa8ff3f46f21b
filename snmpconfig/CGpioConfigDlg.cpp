#include "snmpconfig/CGpioConfigDlg.h"

#include "resources/CIpAddressCtrl.h"
#include "snmpconfig/CSnmpAccess.h"
#include "resources/DataExchange.h"
#include "core/GpioSettings.h"
#include "resources/MessageBox.h"
#include "resources/ResourceIds.h"
#include "snmpconfig/SnmpDialogSupport.h"
#include "core/SettingRules.h"

#include <QComboBox>
#include <QLineEdit>
#include <QtEndian>

namespace Ids = GpioConfigIds;

CGpioConfigDlg::CGpioConfigDlg(quint32 nodeAddress, CSnmpAccess& snmp, QWidget* parent)
    : CTemplateDialog(IDD_GPIO_CONFIG, parent), m_snmp(snmp),
      m_nodeAddressCtrl(Item<CIpAddressCtrl>(Ids::NodeAddress)),
      m_managerAddressCtrl(Item<CIpAddressCtrl>(Ids::ManagerAddress)),
      m_periodEdit(Item<QLineEdit>(Ids::Period)), m_port(Item<QComboBox>(Ids::Port)),
      m_mode(Item<QComboBox>(Ids::Mode)), m_state(Item<QComboBox>(Ids::State)),
      m_initialState(Item<QComboBox>(Ids::InitialState)), m_trapState(Item<QComboBox>(Ids::TrapState)),
      m_trapTimeEdit(Item<QLineEdit>(Ids::TrapTime)), m_nodeAddress(nodeAddress)
{
    Q_ASSERT(m_nodeAddressCtrl && m_managerAddressCtrl && m_periodEdit && m_port && m_mode && m_state &&
             m_initialState && m_trapState && m_trapTimeEdit);
    OnCommand(Ids::Get, [this] { OnGet(); });
    OnCommand(Ids::Set, [this] { OnSet(); });
    // Only the operator's choices count; selections made by the program notify nothing.
    connect(m_port, &QComboBox::activated, this, [this] { OnPortChange(); });
    connect(m_mode, &QComboBox::activated, this, [this] { UpdateControlStates(); });
}

CGpioConfigDlg::~CGpioConfigDlg() = default;

bool CGpioConfigDlg::DoDataExchange(bool save)
{
    DataExchange dx(this, save);
    return dx.Text(Ids::Period, m_period) &&
           dx.MinMax(m_period, GpioRules::kMinPeriod, GpioRules::kMaxPeriod) &&
           dx.Text(Ids::TrapTime, m_trapTime) && dx.MinMax(m_trapTime, 0u, GpioRules::kMaxTrapTime);
}

void CGpioConfigDlg::OnInitDialog()
{
    CTemplateDialog::OnInitDialog();

    m_nodeAddressCtrl->SetAddress(m_nodeAddress);
    m_managerAddressCtrl->SetAddress(0);
    for (QComboBox* list : {m_port, m_mode, m_state, m_initialState, m_trapState})
        list->setCurrentIndex(0);

    if (m_nodeAddress != 0)
        LoadSettings();
    UpdateControlStates();
}

void CGpioConfigDlg::LoadSettings()
{
    quint32 node = 0;
    if (!GetCompleteAddress(this, m_nodeAddressCtrl, IDS_GET_NODE_ADDRESS, node))
        return;
    const QByteArray peer = DottedAddress(node);
    const int port = m_port->currentIndex() + 1;

    // Variables a reply leaves out keep what the controls show.
    quint32 manager = 0;
    m_managerAddressCtrl->GetAddress(manager);
    GpioSettings settings;
    settings.managerAddress = qToBigEndian(manager);
    settings.period = m_period;
    settings.mode = m_mode->currentIndex();
    settings.state = m_state->currentIndex();
    settings.initialState = m_initialState->currentIndex();
    settings.trapState = m_trapState->currentIndex();
    settings.trapTime = m_trapTime;
    if (!m_snmp.GetGpioSettings(peer.constData(), port, settings)) {
        MessageBox::Show(this, IDS_GET_FAILED);
        return;
    }

    m_managerAddressCtrl->SetAddress(qFromBigEndian(settings.managerAddress));
    m_period = settings.period;
    SelectPosition(m_mode, settings.mode);
    SelectPosition(m_state, settings.state);
    SelectPosition(m_initialState, settings.initialState);
    SelectPosition(m_trapState, settings.trapState);
    m_trapTime = settings.trapTime;
    UpdateData(false);
}

void CGpioConfigDlg::UpdateControlStates()
{
    const int mode = m_mode->currentIndex();
    if (mode != GpioRules::kOutput && mode != GpioRules::kInput)
        return;
    const bool output = mode == GpioRules::kOutput;
    m_state->setEnabled(output);
    m_initialState->setEnabled(output);
    m_trapState->setEnabled(!output);
    m_trapTimeEdit->setEnabled(!output);
}

void CGpioConfigDlg::OnGet()
{
    LoadSettings();
    UpdateControlStates();
}

void CGpioConfigDlg::OnPortChange()
{
    OnGet();
}

void CGpioConfigDlg::OnSet()
{
    quint32 node = 0;
    quint32 manager = 0;
    if (!GetCompleteAddress(this, m_nodeAddressCtrl, IDS_SET_NODE_ADDRESS, node) ||
        !GetCompleteAddress(this, m_managerAddressCtrl, IDS_SET_PEER_ADDRESS, manager))
        return;

    GpioSettings settings;
    settings.managerAddress = qToBigEndian(manager);
    settings.mode = m_mode->currentIndex();
    settings.state = m_state->currentIndex();
    settings.initialState = m_initialState->currentIndex();
    settings.trapState = m_trapState->currentIndex();

    if (!UpdateData(true))
        return;
    if (!GpioRules::IsAllowedTrapTime(settings.mode, m_trapTime)) {
        MessageBox::Show(this, IDS_TRAP_TIME_RANGE);
        return;
    }
    settings.period = m_period;
    settings.trapTime = m_trapTime;

    // The board reported a mode the list cannot show; which variables to write is unknown.
    if (settings.mode != GpioRules::kOutput && settings.mode != GpioRules::kInput) {
        MessageBox::Show(this, IDS_SELECT_MODE);
        return;
    }

    const QByteArray peer = DottedAddress(node);
    const int port = m_port->currentIndex() + 1;
    const bool written = m_snmp.SetGpioSettings(peer.constData(), port, settings);
    MessageBox::Show(this, written ? IDS_SET_DONE : IDS_SET_FAILED);
}
