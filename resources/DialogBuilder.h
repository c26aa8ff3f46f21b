#pragma once

#include "resources/DialogTemplate.h"

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

// Turns a DialogTemplate into real Qt widgets. GUI thread only.
//
// Dialog units follow the Windows rule: base units cx = (average width of "A..Za..z" rounded
// as (w + 26) / 52) and cy = the font's height; x px = MulDiv(dlu, cx, 4), y px = MulDiv(dlu, cy, 8).
namespace DialogBuilder {

// "ＭＳ Ｐゴシック" 9 pt, with the installed Japanese gothic fonts registered as substitutes.
QFont DialogFont();

// Base units (cx, cy) in pixels for a font.
QSize BaseUnits(const QFont& font);

// Windows MulDiv: a * b / c rounded half away from zero; c == 0 gives -1.
int MulDiv(int a, int b, int c);

// Dialog-unit rectangle to pixels with the given base units.
QRect DluToPixels(int x, int y, int cx, int cy, QSize baseUnits);

// The objectName a control with that id gets: "ctl_<id>".
QString ControlObjectName(int id);

// Creates the template's controls as children of dialog (which must have none of its own
// yet), sets the dialog's font, caption, fixed size and window flags, and chains the tab
// order in template order. A control whose text (caption, widest list item, or an edit
// field's widest number) needs more than the template's width in the dialog's font gets
// that width. Controls without id get no objectName. Returns the dialog's
// default push button, or nullptr.
QWidget* Build(QWidget* dialog, const DialogTemplate& tmpl);

// The control with that id among dialog's children, or nullptr.
QWidget* FindControl(const QWidget* dialog, int id);

} // namespace DialogBuilder
