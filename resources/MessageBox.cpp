#include "resources/MessageBox.h"

#include "resources/StringTable.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

MessageBox::Recorder& CurrentRecorder()
{
    static MessageBox::Recorder recorder;
    return recorder;
}

// One pass over the text, so an argument that itself contains "%2" is left alone.
QString FillArguments(const QString& text, const QStringList& args)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'%' && i + 1 < text.size() && text[i + 1] >= u'1' && text[i + 1] <= u'9') {
            const qsizetype n = text[i + 1].unicode() - u'1';
            if (n < args.size()) {
                out += args[n];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace

QString MessageBox::Title()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

ShownMessage MessageBox::Compose(QWidget* owner, int stringId, const QStringList& args)
{
    ShownMessage m;
    m.stringId = stringId;
    m.text = FillArguments(LoadString(stringId), args);
    m.title = Title();
    m.icon = IsDataExchangeString(stringId) ? QMessageBox::Warning : QMessageBox::NoIcon;
    m.owner = owner;
    return m;
}

int MessageBox::Show(QWidget* owner, int stringId, const QStringList& args)
{
    const ShownMessage m = Compose(owner, stringId, args);
    if (const Recorder recorder = CurrentRecorder()) {
        recorder(m);
        return 1;
    }
    QMessageBox box(m.icon, m.title, m.text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return 1;
}

MessageBox::RecorderScope::RecorderScope(Recorder recorder) : m_previous(std::move(CurrentRecorder()))
{
    CurrentRecorder() = std::move(recorder);
}

MessageBox::RecorderScope::~RecorderScope()
{
    CurrentRecorder() = std::move(m_previous);
}
