#pragma once

#include <QWidget>

#include <array>

class QLineEdit;

// IPv4 address entry: four octet fields, each may be blank. GUI thread only.
//
// Typing: digits only; a field never holds more than 255 (a keystroke that would make it
// larger is rejected, nothing is clamped). '.' (or a space) in a non-empty field and a third
// digit typed at the end move to the next field; Backspace at the start of a field (or in an
// empty one) moves to the end of the previous field; Left/Right cross between fields. Pasting
// a dotted address (Ctrl+V, Shift+Insert, Paste()) fills all four fields; pasting other text
// into a field is typed into it, subject to the same rules. Tab and Shift+Tab treat the
// control as one stop. Disabling the control greys all four fields and keeps their contents.
class CIpAddressCtrl final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CIpAddressCtrl)

  public:
    explicit CIpAddressCtrl(QWidget* parent = nullptr);
    ~CIpAddressCtrl() override;

    // Number of non-blank fields (0..4); hostOrder gets the address with the first field in
    // the most significant byte, blank fields counting as 0.
    int GetAddress(quint32& hostOrder) const;
    // Fills all four fields (0 shows 0.0.0.0).
    void SetAddress(quint32 hostOrder);
    // Blanks all four fields.
    void ClearAddress();
    bool IsBlank() const;

    // Field i (0..3), for tests and focus handling.
    QLineEdit* Field(int index) const { return m_fields.at(size_t(index)); }

  public slots:
    // Pastes the clipboard text into the field that has the focus (the first one otherwise).
    void Paste();

  signals:
    // The operator changed a field (not emitted by SetAddress/ClearAddress).
    void AddressEdited();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    enum class Caret
    {
        SelectAll,
        Start,
        End
    };
    int IndexOf(const QObject* field) const;
    void PasteText(int index, const QString& text);
    void MoveTo(int index, Caret caret);

    std::array<QLineEdit*, 4> m_fields{};
    bool m_leaving = false;
};
