#pragma once

#include <QByteArray>
#include <QtGlobal>

class CIpAddressCtrl;
class CSnmpAccess;
class QComboBox;
class QWidget;

// Helpers shared by the two SNMP settings dialogs. GUI thread only.

// How the program waits for an SNMP request: the exchange runs on a worker thread while this
// thread goes on painting, running timers and taking posted events, with the wait cursor shown;
// no input reaches any window and every close is refused until the request has ended. Start-up
// installs it on the access object that it hands to the window; installing it again replaces the
// hook with an identical one.
void InstallSnmpWaitHook(CSnmpAccess& access);

// "a.b.c.d" for an address with the first octet in the most significant byte.
QByteArray DottedAddress(quint32 hostOrder);

// Reads an address whose four fields are all filled; otherwise shows message stringId over owner
// and returns false.
bool GetCompleteAddress(QWidget* owner, const CIpAddressCtrl* control, int stringId, quint32& hostOrder);

// Selects the item at position, or nothing when the list has no such item.
void SelectPosition(QComboBox* list, qint32 position);
