#include "resources/DialogBuilder.h"

#include "resources/CIpAddressCtrl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTreeWidget>
#include <QtMath>

#include <limits>

namespace DialogBuilder {

namespace {

// Every dialog of the program uses this face and size.
constexpr const char* kDialogFontName = "ＭＳ Ｐゴシック";
constexpr int kDialogPointSize = 9;

void RegisterFontSubstitutes()
{
    static const bool done = [] {
        // No fontconfig alias exists for the Windows face; name the installed gothic faces
        // explicitly, proportional first, so metrics stay close to the original.
        QFont::insertSubstitutions(QString::fromUtf8(kDialogFontName),
                                   {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                    QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
                                    QStringLiteral("TakaoPGothic")});
        return true;
    }();
    Q_UNUSED(done);
}

QWidget* CreateControl(const ControlTemplate& c, QWidget* dialog, QWidget** defaultButton)
{
    switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* b = new QPushButton(c.Text(), dialog);
        b->setAutoDefault(false);
        if (c.kind == ControlKind::DefPushButton) {
            b->setDefault(true);
            *defaultButton = b;
        }
        return b;
    }
    case ControlKind::ListView: {
        auto* list = new QTreeWidget(dialog);
        list->setColumnCount(0);
        list->setRootIsDecorated(false);
        list->setItemsExpandable(false);
        list->setUniformRowHeights(true);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setSelectionBehavior(QAbstractItemView::SelectRows);
        list->setAllColumnsShowFocus(true);
        list->setSortingEnabled(false);
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list->header()->setSectionsClickable(true);
        list->header()->setStretchLastSection(false);
        list->header()->setSectionsMovable(false);
        list->setFrameShape((c.style & CS_BORDER) ? QFrame::StyledPanel : QFrame::NoFrame);
        // Keep the selection as visible without focus as with it.
        QPalette pal = list->palette();
        pal.setColor(QPalette::Inactive, QPalette::Highlight,
                     pal.color(QPalette::Active, QPalette::Highlight));
        pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     pal.color(QPalette::Active, QPalette::HighlightedText));
        list->setPalette(pal);
        return list;
    }
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(dialog);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    case ControlKind::Label: {
        auto* label = new QLabel(c.Text(), dialog);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(((c.style & CS_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        label->setFocusPolicy(Qt::NoFocus);
        return label;
    }
    case ControlKind::GroupBox: {
        auto* box = new QGroupBox(c.Text(), dialog);
        box->setFocusPolicy(Qt::NoFocus);
        // A frame only: the controls it encloses are its siblings and must get the clicks.
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        return box;
    }
    case ControlKind::AutoCheckBox:
        return new QCheckBox(c.Text(), dialog);
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(dialog);
        edit->setFrame((c.style & CS_BORDER) != 0);
        return edit;
    }
    case ControlKind::DropDownList: {
        auto* combo = new QComboBox(dialog);
        combo->setEditable(false);
        for (const char* item : c.items)
            combo->addItem(QString::fromUtf8(item));
        combo->setMaxVisibleItems(int(c.items.size()) > 0 ? int(c.items.size()) : 1);
        // A fresh drop-down list has no selection until the dialog picks one.
        combo->setCurrentIndex(-1);
        return combo;
    }
    case ControlKind::IpAddress:
        return new CIpAddressCtrl(dialog);
    }
    return nullptr;
}

int TextWidth(const QFont& font, const QString& text)
{
    return qCeil(QFontMetricsF(font).horizontalAdvance(text));
}

// The widest number of that many digits in the font.
QString WidestNumber(const QFont& font, int digits)
{
    const QFontMetricsF metrics(font);
    QChar widest = u'0';
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widest))
            widest = QChar(digit);
    }
    return QString(digits, widest);
}

// The width w needs to show its whole text in the dialog's font; 0 for a control without text.
int WidthForText(QWidget* w, const ControlTemplate& c)
{
    switch (c.kind) {
    case ControlKind::Label:
    case ControlKind::AutoCheckBox:
    case ControlKind::DropDownList: // its widest item
        return w->sizeHint().width();
    case ControlKind::GroupBox:
        return w->minimumSizeHint().width();
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        // The caption is drawn inside the button's frame and clipped to it.
        QStyleOptionButton option;
        option.initFrom(w);
        const QRect contents = w->style()->subElementRect(QStyle::SE_PushButtonContents, &option, w);
        return TextWidth(w->font(), c.Text()) + option.rect.width() - contents.width();
    }
    case ControlKind::Edit: {
        if (c.digits <= 0)
            return 0;
        QStyleOptionFrame option;
        option.initFrom(w);
        if (static_cast<QLineEdit*>(w)->hasFrame())
            option.lineWidth = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, w);
        const QRect contents = w->style()->subElementRect(QStyle::SE_LineEditContents, &option, w);
        // A line edit keeps 2 px clear on either side of its text and 1 px after it for the cursor;
        // anything wider scrolls.
        constexpr int kLineEditPadding = 2 + 2 + 1;
        return TextWidth(w->font(), WidestNumber(w->font(), c.digits)) + kLineEditPadding +
               option.rect.width() - contents.width();
    }
    case ControlKind::ListView:
    case ControlKind::ProgressBar:
    case ControlKind::IpAddress:
        break;
    }
    return 0;
}

// The template's width is the least a control gets: its sizes were made for a Windows face whose
// glyphs may be narrower than the installed one's. A wider control grows to the right, a centred
// label about its centre.
QRect WidenForText(QRect r, int needed, const ControlTemplate& c)
{
    if (needed <= r.width())
        return r;
    if (c.kind == ControlKind::Label && (c.style & CS_CENTER))
        r.moveLeft(r.left() - (needed - r.width()) / 2);
    r.setWidth(needed);
    return r;
}

} // namespace

QFont DialogFont()
{
    RegisterFontSubstitutes();
    QFont font(QString::fromUtf8(kDialogFontName));
    font.setPointSize(kDialogPointSize);
    font.setStyleStrategy(QFont::PreferDefault);
    return font;
}

QSize BaseUnits(const QFont& font)
{
    const QFontMetrics fm(font);
    const int width =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(width + 26) / 52, fm.height()};
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const qint64 product = qint64(a) * qint64(b);
    const qint64 absProduct = product < 0 ? -product : product;
    const qint64 absDivisor = c < 0 ? -qint64(c) : qint64(c);
    const qint64 quotient = (absProduct + absDivisor / 2) / absDivisor;
    if (quotient > std::numeric_limits<int>::max())
        return -1;
    return ((product < 0) != (c < 0)) ? -int(quotient) : int(quotient);
}

QRect DluToPixels(int x, int y, int cx, int cy, QSize baseUnits)
{
    return {MulDiv(x, baseUnits.width(), 4), MulDiv(y, baseUnits.height(), 8),
            MulDiv(cx, baseUnits.width(), 4), MulDiv(cy, baseUnits.height(), 8)};
}

QString ControlObjectName(int id)
{
    return QStringLiteral("ctl_%1").arg(id);
}

QWidget* Build(QWidget* dialog, const DialogTemplate& tmpl)
{
    const QFont font = DialogFont();
    dialog->setFont(font);
    const QSize base = BaseUnits(font);

    Qt::WindowFlags flags = (tmpl.style & DS_MINIMIZEBOX) ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint;
    if (tmpl.style & DS_CAPTION)
        flags |= Qt::WindowTitleHint;
    if (tmpl.style & DS_SYSMENU)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (tmpl.style & DS_MINIMIZEBOX)
        flags |= Qt::WindowMinimizeButtonHint;
    dialog->setWindowFlags(flags);
    dialog->setWindowTitle(tmpl.Caption());
    dialog->setFixedSize(MulDiv(tmpl.cx, base.width(), 4), MulDiv(tmpl.cy, base.height(), 8));

    QWidget* defaultButton = nullptr;
    QList<QWidget*> frames;
    // Creation order is the focus chain order, so building in template order gives the tab order.
    for (const ControlTemplate& c : tmpl.controls) {
        QWidget* w = CreateControl(c, dialog, &defaultButton);
        if (!w)
            continue;
        QRect r = DluToPixels(c.x, c.y, c.cx, c.cy, base);
        if (c.kind == ControlKind::DropDownList)
            r.setHeight(w->sizeHint().height());
        w->setGeometry(r);
        // Measured at the template's size.
        w->setGeometry(WidenForText(r, WidthForText(w, c), c));
        if (c.id != kNoId)
            w->setObjectName(ControlObjectName(c.id));
        if (c.style & CS_DISABLED)
            w->setEnabled(false);
        if (c.kind == ControlKind::GroupBox)
            frames.append(w);
    }
    for (QWidget* frame : frames)
        frame->lower();
    return defaultButton;
}

QWidget* FindControl(const QWidget* dialog, int id)
{
    if (!dialog || id == kNoId)
        return nullptr;
    return dialog->findChild<QWidget*>(ControlObjectName(id), Qt::FindDirectChildrenOnly);
}

} // namespace DialogBuilder
