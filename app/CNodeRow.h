#pragma once

#include "protocol/NodeInfo.h"

#include <QTreeWidgetItem>

#include <memory>

// One row of the node list. The row owns its own copy of the reply it was made from, so the record
// goes exactly when the row goes.
class CNodeRow final : public QTreeWidgetItem
{
  public:
    static constexpr int kType = QTreeWidgetItem::UserType + 1;

    explicit CNodeRow(const NodeInfo& record);
    ~CNodeRow() override;
    CNodeRow(const CNodeRow&) = delete;
    CNodeRow& operator=(const CNodeRow&) = delete;

    const NodeInfo& Record() const { return *m_record; }
    // The texts a row made from the record shows, column by column.
    static QStringList ColumnTexts(const NodeInfo& record);

  private:
    std::unique_ptr<NodeInfo> m_record;
};
