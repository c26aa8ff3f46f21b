#include "resources/CIpAddressCtrl.h"

#include "resources/TextParsers.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyleOptionFrame>
#include <QValidator>

namespace {

class OctetValidator final : public QValidator
{
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        return IsValidOctetText(input) ? Acceptable : Invalid;
    }
};

} // namespace

CIpAddressCtrl::CIpAddressCtrl(QWidget* parent) : QWidget(parent)
{
    // The control is one tab stop; focusInEvent hands the focus to the first field.
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);

    auto* layout = new QHBoxLayout(this);
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    layout->setContentsMargins(frame, frame, frame, frame);
    layout->setSpacing(0);

    auto* validator = new OctetValidator(this);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            dot->setFocusPolicy(Qt::NoFocus);
            layout->addWidget(dot);
        }
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("octet%1").arg(i));
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setValidator(validator);
        field->setFocusPolicy(Qt::ClickFocus);
        field->setContextMenuPolicy(Qt::NoContextMenu);
        field->setMinimumWidth(0);
        field->installEventFilter(this);
        layout->addWidget(field, 1);
        m_fields[size_t(i)] = field;

        connect(field, &QLineEdit::textEdited, this, [this, i, field](const QString& text) {
            if (text.size() == 3 && field->cursorPosition() == 3 && i < 3)
                MoveTo(i + 1, Caret::SelectAll);
            emit AddressEdited();
        });
    }
}

CIpAddressCtrl::~CIpAddressCtrl() = default;

int CIpAddressCtrl::GetAddress(quint32& hostOrder) const
{
    int filled = 0;
    quint32 address = 0;
    for (QLineEdit* field : m_fields) {
        address <<= 8;
        const std::optional<quint32> value = ParseUnsignedInt(field->text());
        if (!field->text().isEmpty() && value && *value <= 255) {
            address |= *value;
            ++filled;
        }
    }
    hostOrder = address;
    return filled;
}

void CIpAddressCtrl::SetAddress(quint32 hostOrder)
{
    for (int i = 0; i < 4; ++i)
        m_fields[size_t(i)]->setText(QString::number((hostOrder >> (24 - 8 * i)) & 0xffu));
}

void CIpAddressCtrl::ClearAddress()
{
    for (QLineEdit* field : m_fields)
        field->clear();
}

bool CIpAddressCtrl::IsBlank() const
{
    for (QLineEdit* field : m_fields) {
        if (!field->text().isEmpty())
            return false;
    }
    return true;
}

void CIpAddressCtrl::Paste()
{
    int index = 0;
    for (int i = 0; i < 4; ++i) {
        if (m_fields[size_t(i)]->hasFocus())
            index = i;
    }
    PasteText(index, QApplication::clipboard()->text());
}

int CIpAddressCtrl::IndexOf(const QObject* field) const
{
    for (int i = 0; i < 4; ++i) {
        if (m_fields[size_t(i)] == field)
            return i;
    }
    return -1;
}

void CIpAddressCtrl::PasteText(int index, const QString& text)
{
    if (!isEnabled())
        return;
    if (const std::optional<OctetFields> octets = ParseDottedAddress(text)) {
        for (int i = 0; i < 4; ++i) {
            QLineEdit* field = m_fields[size_t(i)];
            field->setText(octets->filled[size_t(i)] ? QString::number(octets->value[size_t(i)]) : QString());
        }
        MoveTo(3, Caret::End);
        emit AddressEdited();
        return;
    }
    QLineEdit* field = m_fields[size_t(index)];
    const QString before = field->text();
    // insert() goes through the validator, so anything that is not an octet is refused.
    field->insert(text.trimmed());
    if (field->text() != before)
        emit AddressEdited();
}

void CIpAddressCtrl::MoveTo(int index, Caret caret)
{
    QLineEdit* field = m_fields[size_t(index)];
    field->setFocus(Qt::OtherFocusReason);
    switch (caret) {
    case Caret::SelectAll:
        field->selectAll();
        break;
    case Caret::Start:
        field->setCursorPosition(0);
        break;
    case Caret::End:
        field->end(false);
        break;
    }
}

bool CIpAddressCtrl::eventFilter(QObject* watched, QEvent* event)
{
    const int index = IndexOf(watched);
    if (index < 0 || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);

    auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* field = m_fields[size_t(index)];
    const bool noSelection = !field->hasSelectedText();

    if (key->matches(QKeySequence::Paste)) {
        PasteText(index, QApplication::clipboard()->text());
        return true;
    }
    switch (key->key()) {
    case Qt::Key_Period:
    case Qt::Key_Space:
        if (!field->text().isEmpty() && index < 3)
            MoveTo(index + 1, Caret::SelectAll);
        return true;
    case Qt::Key_Backspace:
        if (index > 0 && field->cursorPosition() == 0 && noSelection) {
            MoveTo(index - 1, Caret::End);
            return true;
        }
        break;
    case Qt::Key_Left:
        if (index > 0 && field->cursorPosition() == 0 && noSelection && key->modifiers() == Qt::NoModifier) {
            MoveTo(index - 1, Caret::End);
            return true;
        }
        break;
    case Qt::Key_Right:
        if (index < 3 && field->cursorPosition() == field->text().size() && noSelection &&
            key->modifiers() == Qt::NoModifier) {
            MoveTo(index + 1, Caret::Start);
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool CIpAddressCtrl::focusNextPrevChild(bool next)
{
    if (next || IndexOf(QApplication::focusWidget()) < 0)
        return QWidget::focusNextPrevChild(next);
    // Backwards from inside: start the search at the control itself so the control's own
    // tab stop is not found again.
    m_leaving = true;
    setFocus(Qt::OtherFocusReason);
    const bool moved = QWidget::focusNextPrevChild(false);
    m_leaving = false;
    if (hasFocus())
        MoveTo(0, Caret::SelectAll);
    return moved;
}

void CIpAddressCtrl::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    if (!m_leaving)
        MoveTo(0, Caret::SelectAll);
}

void CIpAddressCtrl::paintEvent(QPaintEvent*)
{
    QStyleOptionFrame opt;
    opt.initFrom(this);
    opt.rect = rect();
    opt.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, this);
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &opt, &painter, this);
}
