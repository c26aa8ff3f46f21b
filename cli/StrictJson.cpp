#include "cli/StrictJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>

namespace {

QString KeyPath(const QString& parent, const QString& key)
{
    return parent.isEmpty() ? key : parent + QLatin1Char('.') + key;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A JSON number's text is whole when no digit other than 0 stands after the decimal point once the
// exponent has moved it.
bool IsWholeNumber(const QByteArray& text)
{
    qsizetype i = text.startsWith('-') ? 1 : 0;
    QByteArray digits;
    while (i < text.size() && IsDigit(text[i]))
        digits += text[i++];
    qint64 point = digits.size();
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && IsDigit(text[i]); ++i)
            digits += text[i];
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            ++i;
        qint64 exponent = 0;
        // Beyond the digits either way, a larger exponent changes nothing.
        for (; i < text.size() && IsDigit(text[i]); ++i)
            exponent = std::min<qint64>(exponent * 10 + (text[i] - '0'), 1000000);
        point += negative ? -exponent : exponent;
    }
    for (qsizetype d = std::max<qint64>(point, 0); d < digits.size(); ++d) {
        if (digits[d] != '0')
            return false;
    }
    return true;
}

// A walk over text that QJsonDocument accepted, so only well-formed JSON is expected. Anything
// else ends the walk without a finding: QJsonDocument has the last word on syntax.
class Walk
{
  public:
    explicit Walk(const QByteArray& text) : m_text(text) {}

    QString Problem()
    {
        SkipBlanks();
        (void)Value(QString());
        return m_problem;
    }

  private:
    // false: stop, with m_problem set or at text that is not what was expected.
    bool Value(const QString& path)
    {
        switch (Peek()) {
        case '{':
            return Object(path);
        case '[':
            return Array(path);
        case '"':
            return SkipString();
        default:
            break;
        }
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && QByteArrayView("+-.eE0123456789truefalsn").contains(m_text[m_pos]))
            ++m_pos;
        const QByteArray token = m_text.mid(start, m_pos - start);
        if (token.isEmpty())
            return false;
        if ((token[0] == '-' || IsDigit(token[0])) && !IsWholeNumber(token)) {
            m_problem =
                QStringLiteral("%1: expected a whole number, not %2").arg(path, QString::fromLatin1(token));
            return false;
        }
        return true;
    }

    bool Object(const QString& path)
    {
        ++m_pos;
        SkipBlanks();
        if (Take('}'))
            return true;
        QSet<QString> keys;
        do {
            SkipBlanks();
            const qsizetype start = m_pos;
            if (Peek() != '"' || !SkipString())
                return false;
            const QString key = Decoded(m_text.mid(start, m_pos - start));
            const QString keyPath = KeyPath(path, key);
            if (keys.contains(key)) {
                m_problem = QStringLiteral("%1: given twice").arg(keyPath);
                return false;
            }
            keys.insert(key);
            SkipBlanks();
            if (!Take(':'))
                return false;
            SkipBlanks();
            if (!Value(keyPath))
                return false;
            SkipBlanks();
        } while (Take(','));
        return Take('}');
    }

    bool Array(const QString& path)
    {
        ++m_pos;
        SkipBlanks();
        if (Take(']'))
            return true;
        qsizetype index = 0;
        do {
            SkipBlanks();
            if (!Value(QStringLiteral("%1[%2]").arg(path).arg(index++)))
                return false;
            SkipBlanks();
        } while (Take(','));
        return Take(']');
    }

    // From the opening quote to just past the closing one.
    bool SkipString()
    {
        for (++m_pos; m_pos < m_text.size(); ++m_pos) {
            if (m_text[m_pos] == '\\') {
                ++m_pos;
            } else if (m_text[m_pos] == '"') {
                ++m_pos;
                return true;
            }
        }
        return false;
    }

    // A key as QJsonDocument reads it, escapes and all: "\u0070ort" is "port".
    static QString Decoded(const QByteArray& quoted)
    {
        return QJsonDocument::fromJson('[' + quoted + ']').array().at(0).toString();
    }

    void SkipBlanks()
    {
        while (m_pos < m_text.size() && QByteArrayView(" \t\r\n").contains(m_text[m_pos]))
            ++m_pos;
    }

    char Peek() const { return m_pos < m_text.size() ? m_text[m_pos] : '\0'; }

    bool Take(char c)
    {
        if (Peek() != c)
            return false;
        ++m_pos;
        return true;
    }

    const QByteArray& m_text;
    qsizetype m_pos = 0;
    QString m_problem;
};

} // namespace

QString StrictJsonProblem(const QByteArray& json)
{
    return Walk(json).Problem();
}
