#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

// The only way the program shows a message to the operator. GUI thread only.
//
// Text from the string table (%1, %2 filled from args), title = the base name of the program
// file, only an OK button, owned by owner (nullptr: modal over the application). No icon for
// the program's own texts, the warning (exclamation) icon for the data-exchange texts.
// While a recorder is installed nothing is shown: the recorder gets the message instead.

struct ShownMessage
{
    int stringId = 0;
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QPointer<QWidget> owner;
};

class MessageBox
{
  public:
    // Shows the message and returns when it has been dismissed. Returns 1 (OK).
    static int Show(QWidget* owner, int stringId, const QStringList& args = {});

    // What Show() would present, without showing it.
    static ShownMessage Compose(QWidget* owner, int stringId, const QStringList& args = {});

    static QString Title();

    using Recorder = std::function<void(const ShownMessage&)>;

    // Installs a recorder for its lifetime and restores the previous one afterwards.
    class RecorderScope
    {
      public:
        explicit RecorderScope(Recorder recorder);
        ~RecorderScope();
        RecorderScope(const RecorderScope&) = delete;
        RecorderScope& operator=(const RecorderScope&) = delete;

      private:
        Recorder m_previous;
    };
};
