#pragma once

#include "resources/DialogBuilder.h"
#include "resources/ResourceIds.h"

#include <QDialog>

#include <functional>
#include <map>

class QPushButton;

// Base of every window of the program: a modal dialog whose children come from a numbered
// template (DialogTemplate.h), with the command semantics of a classic dialog manager.
// GUI thread only.
//
// Life of a run:
//   DoModal(): OnInitDialog() runs while the window is still hidden (a message box raised
//   there appears before the dialog; EndDialog() there ends the run without showing it),
//   then the window is shown and runs its own event loop until EndDialog().
//
// Commands (a button click, or a key):
//   button id 1 -> OnOK()        default: DoDataExchange(true); on success EndDialog(1)
//   button id 2 -> OnCancel()    default: EndDialog(2)
//   other ids   -> the handler registered with OnCommand(id, ...); unregistered ids do nothing.
//   A handler registered for 1 or 2 replaces OnOK()/OnCancel() for that button.
//   Check boxes are buttons too: their clicks are commands of their id.
//   Enter: clicks the focused push button; else the default push button (if enabled); else
//          the OK command, even when no button has id 1.
//   Esc: the cancel command. Close box / close(): OnClose(), default the cancel command.
//   F1: swallowed.
// A dialog without parent is modal over the whole application.
// Other notifications are plain Qt signals of the controls (Item<T>(id)): a user's choice in a
// drop-down list is QComboBox::activated (not emitted by setCurrentIndex); a double click in
// the list view is QTreeWidget::itemDoubleClicked (not activated, which Enter also emits).
class CTemplateDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTemplateDialog)

  public:
    // Builds the template's controls at once, so Item() works from construction on.
    explicit CTemplateDialog(int templateId, QWidget* parent = nullptr);
    ~CTemplateDialog() override;

    // Runs the dialog; returns the code given to EndDialog().
    int DoModal();

    // Ends the current run with code. The first code wins: later calls (e.g. a pending timer
    // tick after a reply ended the wait) change nothing until the next DoModal().
    void EndDialog(int code);
    bool IsEnded() const { return m_ended; }

    // The control with that template id, or nullptr (also when it is not a T).
    QWidget* GetDlgItem(int id) const;
    template <class T> T* Item(int id) const { return qobject_cast<T*>(GetDlgItem(id)); }

    // Registers the handler for clicks on the button (or check box) with that id.
    void OnCommand(int id, std::function<void()> handler);

    // Runs the command of that id as if its button had been clicked (whether or not a
    // button with that id exists or is enabled).
    void RunCommand(int id);

    // Runs DoDataExchange(save); true when it succeeded.
    bool UpdateData(bool save = true);

  protected:
    // Default: UpdateData(false), then the focus to the first tab stop unless already placed.
    virtual void OnInitDialog();
    // Default: nothing to exchange, success. Implementations use DataExchange.h.
    virtual bool DoDataExchange(bool save);
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnClose();

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

  public slots:
    // QDialog's own entry points are routed to the commands so nothing bypasses them.
    void accept() override;
    void reject() override;
    // Same as EndDialog(): the first code wins.
    void done(int code) override;

  private:
    void OnEnterKey();

    const int m_templateId;
    QWidget* m_defaultButton = nullptr;
    std::map<int, std::function<void()>> m_handlers;
    bool m_ended = false;
    int m_endCode = 0;
    bool m_running = false;
};
