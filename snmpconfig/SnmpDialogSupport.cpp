#include "SnmpDialogSupport.h"

#include "CIpAddressCtrl.h"
#include "CSnmpAccess.h"
#include "MessageBox.h"
#include "NetworkSettings.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>

#include <arpa/inet.h>

void InstallBusyCursorHook()
{
    CSnmpAccess::SetBusyHook([](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QApplication::restoreOverrideCursor();
    });
}

QByteArray DottedAddress(quint32 hostOrder)
{
    return QByteArray::fromStdString(DottedText(htonl(hostOrder)));
}

bool GetCompleteAddress(QWidget* owner, const CIpAddressCtrl* control, int stringId, quint32& hostOrder)
{
    if (control->GetAddress(hostOrder) == 4)
        return true;
    MessageBox::Show(owner, stringId);
    return false;
}

void SelectPosition(QComboBox* list, qint32 position)
{
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}
