#pragma once

#include "protocol/NodeInfo.h"

#include <QTreeWidgetItem>

#include <memory>

// One row of the node list. The row owns its own copy of the reply it was made from, so the record
// goes exactly when the row goes; beside it the interface the reply came in on.
class CNodeRow final : public QTreeWidgetItem
{
  public:
    static constexpr int kType = QTreeWidgetItem::UserType + 1;

    // interfaceIndex: 0 when not known.
    explicit CNodeRow(const NodeInfo& record, unsigned interfaceIndex = 0);
    ~CNodeRow() override;
    CNodeRow(const CNodeRow&) = delete;
    CNodeRow& operator=(const CNodeRow&) = delete;

    const NodeInfo& Record() const { return *m_record; }
    unsigned InterfaceIndex() const { return m_interfaceIndex; }
    // The texts a row made from the record shows, column by column.
    static QStringList ColumnTexts(const NodeInfo& record);

  private:
    std::unique_ptr<NodeInfo> m_record;
    unsigned m_interfaceIndex;
};
