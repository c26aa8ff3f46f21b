#include "resources/DataExchange.h"

#include "resources/DialogBuilder.h"
#include "resources/MessageBox.h"
#include "resources/ResourceIds.h"
#include "resources/TextParsers.h"

#include <QLineEdit>

DataExchange::DataExchange(QWidget* dialog, bool save) : m_dialog(dialog), m_save(save) {}

QLineEdit* DataExchange::Field(int id)
{
    auto* field = qobject_cast<QLineEdit*>(DialogBuilder::FindControl(m_dialog, id));
    Q_ASSERT_X(field, "DataExchange", "no edit field with that id");
    m_lastField = field;
    return field;
}

bool DataExchange::Fail(int stringId, const QStringList& args)
{
    m_failed = true;
    MessageBox::Show(m_dialog, stringId, args);
    if (m_lastField) {
        m_lastField->setFocus(Qt::OtherFocusReason);
        m_lastField->selectAll();
    }
    return false;
}

template <typename T>
bool DataExchange::Exchange(int id, T& value, std::optional<T> (*parse)(QStringView), int parseFailureId)
{
    if (m_failed)
        return false;
    QLineEdit* field = Field(id);
    if (!field)
        return false;
    if (!m_save) {
        field->setText(QString::number(value));
        return true;
    }
    const std::optional<T> parsed = parse(field->text());
    if (!parsed)
        return Fail(parseFailureId, {});
    value = *parsed;
    return true;
}

template <typename T> bool DataExchange::CheckRange(T value, T min, T max)
{
    if (m_failed)
        return false;
    if (!m_save || (value >= min && value <= max))
        return true;
    return Fail(IDS_PARSE_INT_RANGE, {QString::number(min), QString::number(max)});
}

bool DataExchange::Text(int id, qint32& value)
{
    return Exchange(id, value, ParseSignedInt, IDS_PARSE_INT);
}

bool DataExchange::Text(int id, quint32& value)
{
    return Exchange(id, value, ParseUnsignedInt, IDS_PARSE_UINT);
}

bool DataExchange::MinMax(qint32 value, qint32 min, qint32 max)
{
    return CheckRange(value, min, max);
}

bool DataExchange::MinMax(quint32 value, quint32 min, quint32 max)
{
    return CheckRange(value, min, max);
}
