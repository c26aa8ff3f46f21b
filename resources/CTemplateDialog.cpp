#include "resources/CTemplateDialog.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

CTemplateDialog::CTemplateDialog(int templateId, QWidget* parent) : QDialog(parent), m_templateId(templateId)
{
    const DialogTemplate& tmpl = DialogTemplateById(templateId);
    m_defaultButton = DialogBuilder::Build(this, tmpl);
    for (const ControlTemplate& c : tmpl.controls) {
        if (c.kind != ControlKind::PushButton && c.kind != ControlKind::DefPushButton &&
            c.kind != ControlKind::AutoCheckBox)
            continue;
        if (auto* button = Item<QAbstractButton>(c.id)) {
            const int id = c.id;
            connect(button, &QAbstractButton::clicked, this, [this, id] { RunCommand(id); });
        }
    }
}

CTemplateDialog::~CTemplateDialog() = default;

int CTemplateDialog::DoModal()
{
    m_ended = false;
    m_endCode = 0;
    OnInitDialog();
    if (m_ended)
        return m_endCode;

    if (!focusWidget()) {
        for (const ControlTemplate& c : DialogTemplateById(m_templateId).controls) {
            QWidget* w = GetDlgItem(c.id);
            if (w && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
                w->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }

    setWindowModality(Qt::ApplicationModal);
    m_running = true;
    exec();
    m_running = false;
    return m_endCode;
}

void CTemplateDialog::EndDialog(int code)
{
    if (m_ended)
        return;
    m_ended = true;
    m_endCode = code;
    if (m_running)
        QDialog::done(code);
    else
        setResult(code);
}

void CTemplateDialog::done(int code)
{
    EndDialog(code);
}

QWidget* CTemplateDialog::GetDlgItem(int id) const
{
    return DialogBuilder::FindControl(this, id);
}

void CTemplateDialog::OnCommand(int id, std::function<void()> handler)
{
    m_handlers[id] = std::move(handler);
}

void CTemplateDialog::RunCommand(int id)
{
    if (const auto it = m_handlers.find(id); it != m_handlers.end()) {
        // Copy: the handler may register or replace handlers while it runs.
        const std::function<void()> handler = it->second;
        if (handler)
            handler();
        return;
    }
    if (id == IDOK)
        OnOK();
    else if (id == IDCANCEL)
        OnCancel();
}

bool CTemplateDialog::UpdateData(bool save)
{
    return DoDataExchange(save);
}

void CTemplateDialog::OnInitDialog()
{
    UpdateData(false);
}

bool CTemplateDialog::DoDataExchange(bool)
{
    return true;
}

void CTemplateDialog::OnOK()
{
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CTemplateDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CTemplateDialog::OnClose()
{
    RunCommand(IDCANCEL);
}

void CTemplateDialog::OnEnterKey()
{
    if (auto* focused = qobject_cast<QPushButton*>(focusWidget()); focused && focused->isEnabled()) {
        focused->click();
        return;
    }
    if (m_defaultButton) {
        if (auto* button = qobject_cast<QAbstractButton*>(m_defaultButton); button && button->isEnabled())
            button->click();
        return;
    }
    RunCommand(IDOK);
}

void CTemplateDialog::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (mods == Qt::NoModifier) {
            event->accept();
            OnEnterKey();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (mods == Qt::NoModifier) {
            event->accept();
            RunCommand(IDCANCEL);
            return;
        }
        break;
    case Qt::Key_F1:
        event->accept();
        return;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void CTemplateDialog::closeEvent(QCloseEvent* event)
{
    // A shown window only goes away through EndDialog(); the close box asks OnClose().
    if (!isVisible()) {
        event->accept();
        return;
    }
    event->ignore();
    OnClose();
}

bool CTemplateDialog::event(QEvent* event)
{
    if (event->type() == QEvent::WhatsThis || event->type() == QEvent::EnterWhatsThisMode)
        return true;
    return QDialog::event(event);
}

void CTemplateDialog::accept()
{
    RunCommand(IDOK);
}

void CTemplateDialog::reject()
{
    RunCommand(IDCANCEL);
}
