#pragma once

// Numeric ids of the dialog templates, their controls, the icon and the string table.
// Control ids are local to their template; the same number means different controls in
// different dialogs, hence one namespace per template.

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

constexpr int IDI_APP_ICON = 128;

constexpr int IDD_NODE_LIST = 102;
constexpr int IDD_WAIT_REPLY = 129;
constexpr int IDD_IP_CONFIG = 130;
constexpr int IDD_SERIAL_CONFIG = 135;
constexpr int IDD_GPIO_CONFIG = 137;

namespace NodeListIds {
constexpr int Close = 1;
constexpr int Search = 1000;
constexpr int NodeList = 1002;
constexpr int Serial = 1003;
constexpr int Gpio = 1004;
constexpr int IpSetting = 1016;
} // namespace NodeListIds

namespace WaitReplyIds {
constexpr int Cancel = 2;
constexpr int Progress = 1003;
} // namespace WaitReplyIds

namespace IpConfigIds {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int IpAddress = 1004;
constexpr int SubnetMask = 1005;
constexpr int Gateway = 1007;
constexpr int UseDhcp = 1008;
constexpr int UseGateway = 1009;
} // namespace IpConfigIds

namespace SerialConfigIds {
constexpr int Close = 2;
constexpr int Get = 3;
constexpr int Set = 1001;
constexpr int ConnectionMode = 1011;
constexpr int PeerAddress = 1012;
constexpr int BitRate = 1013;
constexpr int StopBits = 1014;
constexpr int Parity = 1015;
constexpr int NodeAddress = 1016;
constexpr int FlowControl = 1017;
constexpr int DataLength = 1018;
constexpr int PortNumber = 1024;
} // namespace SerialConfigIds

namespace GpioConfigIds {
constexpr int Close = 2;
constexpr int Get = 3;
constexpr int Set = 1001;
constexpr int NodeAddress = 1016;
constexpr int Period = 1017;
constexpr int ManagerAddress = 1018;
constexpr int Port = 1019;
constexpr int Mode = 1020;
constexpr int State = 1021;
constexpr int InitialState = 1022;
constexpr int TrapTime = 1023;
constexpr int TrapState = 1024;
} // namespace GpioConfigIds

// String table ids (texts in StringTable.cpp).
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDS_NO_IP_ADDRESS = 102;
constexpr int IDS_NO_SUBNET_MASK = 103;
constexpr int IDS_NO_GATEWAY = 104;
constexpr int IDS_BAD_IP_ADDRESS = 105;
constexpr int IDS_BAD_SUBNET_MASK = 106;
constexpr int IDS_BAD_IP_MASK_PAIR = 107;
constexpr int IDS_BAD_GATEWAY = 108;
constexpr int IDS_NETWORK_CHANGED = 109;
constexpr int IDS_NETWORK_CHANGE_FAILED = 110;
constexpr int IDS_NO_REPLY = 111;
constexpr int IDS_SET_NODE_ADDRESS = 112;
constexpr int IDS_SET_PEER_ADDRESS = 113;
constexpr int IDS_TRAP_TIME_RANGE = 114;
constexpr int IDS_SET_FAILED = 115;
constexpr int IDS_SET_DONE = 116;
constexpr int IDS_GET_NODE_ADDRESS = 117;
constexpr int IDS_GET_FAILED = 118;
constexpr int IDS_NOT_CHANGED = 119;
constexpr int IDS_SEND_FAILED = 120;
constexpr int IDS_SELECT_NODE = 121;
constexpr int IDS_SELECT_MODE = 122; // I/O write while no mode is selected

// Texts of the data-exchange layer; they carry the exclamation icon.
constexpr int IDS_PARSE_INT = 61712;
constexpr int IDS_PARSE_INT_RANGE = 61714; // %1 and %2: the bounds
constexpr int IDS_PARSE_UINT = 61719;
