#include "cli/InputText.h"

#include <QIODevice>

QByteArray ReadInputText(QIODevice& file)
{
    static const QByteArray mark("\xEF\xBB\xBF");
    const QByteArray text = file.readAll();
    return text.startsWith(mark) ? text.mid(mark.size()) : text;
}
