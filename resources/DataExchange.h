#pragma once

#include <QStringList>
#include <QStringView>
#include <QtGlobal>

#include <optional>

class QLineEdit;
class QWidget;

// Moves numbers between a dialog's edit fields (found by control id, see DialogBuilder.h)
// and its members, with the classic validation messages. GUI thread only.
//
// Typical DoDataExchange:
//   DataExchange dx(this, save);
//   return dx.Text(1017, m_period) && dx.MinMax(m_period, 10u, 1000u)
//       && dx.Text(1023, m_trapTime) && dx.MinMax(m_trapTime, 0u, 604800000u);
//
// Saving (save = true): Text() parses the field (signed: ParseSignedInt, failure message 61712;
// unsigned: ParseUnsignedInt, failure 61719) and stores the value only when it parses;
// MinMax() checks the value (failure 61714 with both bounds in decimal). On a failure the
// message is shown through MessageBox owned by the dialog, the field gets the focus with its
// text selected, and every later call on this object returns false without doing anything.
// Loading (save = false): Text() writes the value as decimal text; MinMax() does nothing.
class DataExchange
{
  public:
    DataExchange(QWidget* dialog, bool save);

    bool IsSaving() const { return m_save; }
    bool Failed() const { return m_failed; }

    bool Text(int id, qint32& value);
    bool Text(int id, quint32& value);

    // Checks the value of the field last passed to Text().
    bool MinMax(qint32 value, qint32 min, qint32 max);
    bool MinMax(quint32 value, quint32 min, quint32 max);

  private:
    QLineEdit* Field(int id);
    bool Fail(int stringId, const QStringList& args);
    template <typename T>
    bool Exchange(int id, T& value, std::optional<T> (*parse)(QStringView), int parseFailureId);
    template <typename T> bool CheckRange(T value, T min, T max);

    QWidget* m_dialog;
    bool m_save;
    bool m_failed = false;
    QLineEdit* m_lastField = nullptr;
};
