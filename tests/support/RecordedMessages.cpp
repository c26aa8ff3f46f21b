#include "tests/support/RecordedMessages.h"

RecordedMessages::RecordedMessages() : RecordedMessages(nullptr) {}

RecordedMessages::RecordedMessages(std::function<void(const ShownMessage&)> onShown)
    : m_onShown(std::move(onShown)), m_scope([this](const ShownMessage& m) {
          m_messages.push_back(m);
          if (m_onShown)
              m_onShown(m);
      })
{
}

QList<int> RecordedMessages::Ids() const
{
    QList<int> ids;
    for (const ShownMessage& m : m_messages)
        ids.append(m.stringId);
    return ids;
}
