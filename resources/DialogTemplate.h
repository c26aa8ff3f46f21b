#pragma once

#include <QString>

#include <span>

#include <QtGlobal>

// The program's dialog templates as data: one table per dialog, in template order, which is
// also the tab order. Positions and sizes are in dialog units (see DialogBuilder.h).
// The tables are immutable and live for the whole run.

enum class ControlKind
{
    PushButton,    // QPushButton, autoDefault off
    DefPushButton, // as PushButton, but the dialog's default button
    ListView,      // QTreeWidget in report style; the window adds the columns
    ProgressBar,   // QProgressBar 0..100, no text
    Label,         // QLabel, not focusable
    GroupBox,      // QGroupBox frame (text may be empty), not focusable
    AutoCheckBox,  // QCheckBox
    Edit,          // one-line QLineEdit
    DropDownList,  // non-editable QComboBox with the template's items
    IpAddress,     // CIpAddressCtrl
};

// Style bits of a control (only those the program's templates use).
enum ControlStyle : quint32
{
    CS_NONE = 0,
    CS_DISABLED = 1u << 0, // starts disabled
    CS_CENTER = 1u << 1,   // label text centred (default: left)
    CS_BORDER = 1u << 2,
    CS_AUTOHSCROLL = 1u << 3,
};

// Style bits of a dialog window.
enum DialogStyle : quint32
{
    DS_CAPTION = 1u << 0,
    DS_SYSMENU = 1u << 1, // close button
    DS_MINIMIZEBOX = 1u << 2,
    DS_MODALFRAME = 1u << 3, // fixed size, never a maximise box or sizing border
};

constexpr int kNoId = -1; // a control without id (labels, frames)

struct ControlTemplate
{
    int id; // kNoId for none
    ControlKind kind;
    const char* text;                        // UTF-8, "" for none
    quint32 style;                           // ControlStyle bits
    int x, y, cx, cy;                        // dialog units; a drop-down list's cy includes its dropped list
    std::span<const char* const> items = {}; // drop-down list items (UTF-8), in list order
    int digits = 0; // an edit field for a number: the most digits it holds, which it shows whole

    QString Text() const { return QString::fromUtf8(text); }
};

struct DialogTemplate
{
    int id;
    const char* caption; // UTF-8
    int cx, cy;          // client size in dialog units
    quint32 style;       // DialogStyle bits
    std::span<const ControlTemplate> controls;

    QString Caption() const { return QString::fromUtf8(caption); }
    // nullptr when the template has no control with that id.
    const ControlTemplate* FindControl(int controlId) const;
};

// The template with that IDD_* id (ResourceIds.h). An unknown id is a programming error:
// it asserts in debug builds and gives an empty template without controls otherwise.
const DialogTemplate& DialogTemplateById(int id);
