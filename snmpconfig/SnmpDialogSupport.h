#pragma once

#include <QByteArray>
#include <QtGlobal>

class CIpAddressCtrl;
class QComboBox;
class QWidget;

// Helpers shared by the two SNMP settings dialogs. GUI thread only.

// Shows a wait cursor over the application while CSnmpAccess waits for a reply. main() calls it
// once; calling it again replaces the hook with an identical one.
void InstallBusyCursorHook();

// "a.b.c.d" for an address with the first octet in the most significant byte.
QByteArray DottedAddress(quint32 hostOrder);

// Reads an address whose four fields are all filled; otherwise shows message stringId over owner
// and returns false.
bool GetCompleteAddress(QWidget* owner, const CIpAddressCtrl* control, int stringId, quint32& hostOrder);

// Selects the item at position, or nothing when the list has no such item.
void SelectPosition(QComboBox* list, qint32 position);
