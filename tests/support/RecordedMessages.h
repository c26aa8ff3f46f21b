#pragma once

#include "resources/MessageBox.h"

#include <QList>

#include <functional>
#include <vector>

// For tests: collects every message shown while it lives.
//   RecordedMessages messages;
//   ... run the dialog ...
//   QCOMPARE(messages.Ids(), QList<int>({120}));
class RecordedMessages
{
  public:
    RecordedMessages();
    // Also calls onShown after recording each message (e.g. to end a dialog from there).
    explicit RecordedMessages(std::function<void(const ShownMessage&)> onShown);

    const std::vector<ShownMessage>& All() const { return m_messages; }
    QList<int> Ids() const;
    int Count() const { return int(m_messages.size()); }
    void Clear() { m_messages.clear(); }

  private:
    std::vector<ShownMessage> m_messages;
    std::function<void(const ShownMessage&)> m_onShown;
    MessageBox::RecorderScope m_scope;
};
