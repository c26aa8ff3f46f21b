#include "cli/InputText.h"

#include <QIODevice>

QByteArray WithoutByteOrderMark(const QByteArray& text)
{
    static const QByteArray mark("\xEF\xBB\xBF");
    return text.startsWith(mark) ? text.mid(mark.size()) : text;
}

QByteArray ReadInputText(QIODevice& file)
{
    return WithoutByteOrderMark(file.readAll());
}
