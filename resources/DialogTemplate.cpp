#include "resources/DialogTemplate.h"

#include "core/SettingRules.h"
#include "resources/ResourceIds.h"

namespace {

constexpr quint32 kPopup = DS_CAPTION | DS_SYSMENU | DS_MODALFRAME;

using K = ControlKind;

// Main window.
constexpr ControlTemplate kNodeList[] = {
    {NodeListIds::Search, K::PushButton, "検索", CS_NONE, 7, 179, 50, 14},
    {NodeListIds::IpSetting, K::PushButton, "IP設定", CS_DISABLED, 65, 180, 50, 14},
    {NodeListIds::Close, K::PushButton, "閉じる", CS_NONE, 255, 180, 50, 14},
    {NodeListIds::NodeList, K::ListView, "", CS_BORDER, 7, 7, 298, 163},
    {NodeListIds::Serial, K::PushButton, "ｼﾘｱﾙ設定", CS_NONE, 120, 180, 50, 14},
    {NodeListIds::Gpio, K::PushButton, "汎用I/O設定", CS_NONE, 175, 180, 50, 14},
};

// Reply wait.
constexpr ControlTemplate kWaitReply[] = {
    {WaitReplyIds::Cancel, K::PushButton, "ｷｬﾝｾﾙ", CS_NONE, 67, 72, 50, 14},
    {WaitReplyIds::Progress, K::ProgressBar, "", CS_BORDER, 7, 38, 173, 14},
    {kNoId, K::Label, "応答を待っています", CS_CENTER, 48, 15, 88, 8},
};

// IP settings.
constexpr ControlTemplate kIpConfig[] = {
    {IpConfigIds::Ok, K::DefPushButton, "OK", CS_NONE, 5, 95, 45, 14},
    {IpConfigIds::Cancel, K::PushButton, "ｷｬﾝｾﾙ", CS_NONE, 125, 95, 45, 14},
    {IpConfigIds::IpAddress, K::IpAddress, "", CS_NONE, 75, 25, 90, 15},
    {IpConfigIds::SubnetMask, K::IpAddress, "", CS_NONE, 75, 45, 90, 15},
    {IpConfigIds::Gateway, K::IpAddress, "", CS_NONE, 75, 65, 90, 15},
    {IpConfigIds::UseDhcp, K::AutoCheckBox, "DHCPを使用", CS_NONE, 5, 5, 53, 10},
    {kNoId, K::Label, "IPｱﾄﾞﾚｽ", CS_NONE, 25, 31, 24, 8},
    {kNoId, K::Label, "ｻﾌﾞﾈｯﾄﾏｽｸ", CS_NONE, 25, 51, 35, 8},
    {IpConfigIds::UseGateway, K::AutoCheckBox, "ｹﾞｰﾄｳｪｲｱﾄﾞﾚｽ", CS_NONE, 10, 71, 60, 10},
    {kNoId, K::GroupBox, "", CS_NONE, 5, 15, 165, 75},
};

// Serial settings; the lists are the settings' own.

constexpr ControlTemplate kSerialConfig[] = {
    {SerialConfigIds::Set, K::PushButton, "設定", CS_NONE, 5, 214, 45, 14},
    {SerialConfigIds::Get, K::PushButton, "取得", CS_NONE, 55, 214, 45, 14},
    {SerialConfigIds::Close, K::PushButton, "閉じる", CS_NONE, 125, 214, 45, 14},
    {kNoId, K::Label, "IPｱﾄﾞﾚｽ", CS_NONE, 15, 8, 24, 8},
    {SerialConfigIds::NodeAddress, K::IpAddress, "", CS_NONE, 75, 5, 90, 15},
    {kNoId, K::GroupBox, "TCP/IP設定", CS_NONE, 5, 46, 165, 50},
    {kNoId, K::Label, "接続方式", CS_NONE, 15, 58, 40, 8},
    {SerialConfigIds::ConnectionMode, K::DropDownList, "", CS_NONE, 75, 56, 60, 70,
     SerialRules::kConnectionModeItems},
    {kNoId, K::Label, "接続先IPｱﾄﾞﾚｽ", CS_NONE, 15, 79, 55, 8},
    {SerialConfigIds::PeerAddress, K::IpAddress, "", CS_NONE, 75, 76, 90, 15},
    {kNoId, K::GroupBox, "ｼﾘｱﾙ設定", CS_NONE, 5, 101, 165, 108},
    {kNoId, K::Label, "ﾋﾞｯﾄﾚｰﾄ", CS_NONE, 15, 113, 40, 8},
    {SerialConfigIds::BitRate, K::DropDownList, "", CS_NONE, 75, 111, 50, 120, SerialRules::kBitRateItems},
    {kNoId, K::Label, "ｽﾄｯﾌﾟﾋﾞｯﾄ", CS_NONE, 15, 153, 40, 8},
    {SerialConfigIds::StopBits, K::DropDownList, "", CS_NONE, 75, 151, 50, 65, SerialRules::kStopBitItems},
    {kNoId, K::Label, "ﾊﾟﾘﾃｨ", CS_NONE, 15, 173, 40, 8},
    {SerialConfigIds::Parity, K::DropDownList, "", CS_NONE, 75, 171, 50, 70, SerialRules::kParityItems},
    {kNoId, K::Label, "ﾌﾛｰ制御", CS_NONE, 15, 193, 40, 8},
    {SerialConfigIds::FlowControl, K::DropDownList, "", CS_NONE, 75, 191, 50, 70,
     SerialRules::kFlowControlItems},
    {kNoId, K::Label, "ﾃﾞｰﾀ長", CS_NONE, 15, 133, 40, 8},
    {SerialConfigIds::DataLength, K::DropDownList, "", CS_NONE, 75, 131, 50, 61,
     SerialRules::kDataLengthItems},
    {kNoId, K::Label, "ﾎﾟｰﾄ番号", CS_NONE, 15, 27, 40, 8},
    {SerialConfigIds::PortNumber, K::Edit, "", CS_BORDER | CS_AUTOHSCROLL, 75, 25, 50, 13, {}, 5},
};

// General-purpose I/O settings.

constexpr ControlTemplate kGpioConfig[] = {
    {GpioConfigIds::Set, K::PushButton, "設定", CS_NONE, 5, 200, 45, 14},
    {GpioConfigIds::Close, K::PushButton, "閉じる", CS_NONE, 125, 200, 45, 14},
    {GpioConfigIds::NodeAddress, K::IpAddress, "", CS_NONE, 75, 7, 90, 15},
    {kNoId, K::Label, "IPｱﾄﾞﾚｽ", CS_NONE, 15, 8, 24, 8},
    {GpioConfigIds::ManagerAddress, K::IpAddress, "", CS_NONE, 75, 35, 90, 15},
    {kNoId, K::Label, "ﾏﾈｰｼﾞｬIPｱﾄﾞﾚｽ", CS_NONE, 15, 38, 47, 8},
    {kNoId, K::Label, "状態ﾁｪｯｸ周期[ms]", CS_NONE, 15, 58, 56, 8},
    {kNoId, K::GroupBox, "一般設定", CS_NONE, 5, 25, 165, 50},
    {GpioConfigIds::Period, K::Edit, "", CS_BORDER | CS_AUTOHSCROLL, 75, 55, 40, 14, {}, 4},
    {kNoId, K::GroupBox, "ﾎﾟｰﾄ別設定", CS_NONE, 5, 80, 165, 116},
    {GpioConfigIds::Port, K::DropDownList, "", CS_NONE, 75, 90, 25, 90, GpioRules::kPortItems},
    {kNoId, K::Label, "ﾎﾟｰﾄ番号", CS_NONE, 15, 92, 29, 10},
    {kNoId, K::Label, "ﾓｰﾄﾞ", CS_NONE, 15, 107, 15, 12},
    {GpioConfigIds::Mode, K::DropDownList, "", CS_NONE, 75, 107, 48, 85, GpioRules::kModeItems},
    {GpioConfigIds::State, K::DropDownList, "", CS_NONE, 75, 124, 48, 85, GpioRules::kLevelItems},
    {kNoId, K::Label, "状態", CS_NONE, 15, 124, 15, 12},
    {GpioConfigIds::InitialState, K::DropDownList, "", CS_NONE, 75, 141, 48, 75, GpioRules::kLevelItems},
    {kNoId, K::Label, "初期状態", CS_NONE, 15, 141, 28, 12},
    {kNoId, K::Label, "ﾄﾗｯﾌﾟ時間[ms]", CS_NONE, 15, 175, 44, 14},
    {GpioConfigIds::TrapTime, K::Edit, "", CS_BORDER | CS_AUTOHSCROLL, 75, 175, 40, 14, {}, 9},
    {GpioConfigIds::Get, K::PushButton, "取得", CS_NONE, 55, 200, 45, 14},
    {kNoId, K::Label, "ﾄﾗｯﾌﾟ状態", CS_NONE, 15, 158, 31, 12},
    {GpioConfigIds::TrapState, K::DropDownList, "", CS_NONE, 75, 158, 48, 75, GpioRules::kLevelItems},
};

constexpr DialogTemplate kTemplates[] = {
    {IDD_NODE_LIST, "Corvane-K1 Tool v1.0.2", 314, 199, kPopup | DS_MINIMIZEBOX, kNodeList},
    {IDD_WAIT_REPLY, "応答待ちﾀﾞｲｱﾛｸﾞ", 187, 93, kPopup, kWaitReply},
    {IDD_IP_CONFIG, "IP設定ﾀﾞｲｱﾛｸﾞ", 174, 115, kPopup, kIpConfig},
    {IDD_SERIAL_CONFIG, "ｼﾘｱﾙ通信ﾀﾞｲｱﾛｸﾞ", 175, 235, kPopup, kSerialConfig},
    {IDD_GPIO_CONFIG, "汎用I/O設定ﾀﾞｲｱﾛｸﾞ", 175, 221, kPopup, kGpioConfig},
};

constexpr DialogTemplate kEmpty = {0, "", 0, 0, kPopup, {}};

} // namespace

const ControlTemplate* DialogTemplate::FindControl(int controlId) const
{
    if (controlId == kNoId)
        return nullptr;
    for (const ControlTemplate& c : controls) {
        if (c.id == controlId)
            return &c;
    }
    return nullptr;
}

const DialogTemplate& DialogTemplateById(int id)
{
    for (const DialogTemplate& t : kTemplates) {
        if (t.id == id)
            return t;
    }
    Q_ASSERT_X(false, "DialogTemplateById", "unknown dialog template");
    return kEmpty;
}
