#pragma once

#include "protocol/NodePacketEvent.h"

#include <QObject>

#include <arpa/inet.h>

#include <memory>
#include <vector>

// Stands in for the main window: takes the records out of every node packet event it receives.
// Its receiver is what an engine delivers to; the engine must be closed before the sink goes.
class PacketSink : public QObject
{
  public:
    std::vector<std::unique_ptr<NodeInfo>> records;
    CWindowReceiver receiver{this};

    QByteArray RecordBytes(std::size_t index) const
    {
        QByteArray bytes(NodeInfo::kPacketSize, '\0');
        records.at(index)->Pack(reinterpret_cast<uint8_t*>(bytes.data()));
        return bytes;
    }

    // Records of one transaction with one op code (host order).
    std::vector<const NodeInfo*> Replies(uint32_t id, uint32_t op) const
    {
        std::vector<const NodeInfo*> found;
        for (const auto& record : records) {
            if (record->GetTransactionId() == id && ntohl(record->GetOpCode()) == op) {
                found.push_back(record.get());
            }
        }
        return found;
    }

  protected:
    bool event(QEvent* event) override
    {
        if (event->type() == WM_NODE_PACKET) {
            for (ReceivedNode& node : static_cast<CNodePacketEvent*>(event)->TakeNodes()) {
                records.push_back(std::move(node.record));
            }
            return true;
        }
        return QObject::event(event);
    }
};
