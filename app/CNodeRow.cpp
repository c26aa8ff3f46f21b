#include "app/CNodeRow.h"

#include <QString>
#include <QStringList>

QStringList CNodeRow::ColumnTexts(const NodeInfo& record)
{
    const NetworkSettings& settings = record.GetSettings();
    return {QString::fromStdString(record.GetMacText()), QString::fromStdString(settings.GetIpText()),
            QString::fromStdString(settings.GetMaskText()), QString::fromStdString(settings.GetGatewayText()),
            QString::fromStdString(settings.GetDhcpText())};
}

// The texts are set before the row joins a list, so adding a row costs the view one insertion
// rather than one insertion and five changes.
CNodeRow::CNodeRow(const NodeInfo& record, unsigned interfaceIndex)
    : QTreeWidgetItem(ColumnTexts(record), kType), m_record(std::make_unique<NodeInfo>(record)),
      m_interfaceIndex(interfaceIndex)
{
}

CNodeRow::~CNodeRow() = default;
