#include "inpstr.h"

#include "fonts.h"
#include "screenplace.h"
#include "textutil.h"
#include "widgets.h"

#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>
#include <QWindow>

#include <algorithm>

namespace {

// Tab stays in the entry field.
QPushButton *DialogButton(const QString &caption, QWidget *parent)
{
    return CaptionButton(caption, parent, SansFont(11, true), false);
}

} // namespace

TFinpstr::TFinpstr(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName("Finpstr");
    setModal(true);
    BuildPanel();
    resize(245, 153);

    auto label = [&](int top) {
        auto *l = new QLabel(Panel1);
        l->setTextFormat(Qt::PlainText);
        // A press on the prompt is no press on the panel: it moves nothing.
        l->setAttribute(Qt::WA_NoMousePropagation);
        l->move(16, top);
        return l;
    };
    Label1 = label(16);
    Label2 = label(37);

    Edit1 = new QLineEdit(Panel1);
    Edit1->setGeometry(32, 64, 193, 21);
    Edit1->setFont(SansFont(11));
    Edit1->setAccessibleName("Input");

    Button1 = DialogButton("OK", Panel1);
    Button1->setGeometry(104, 104, 57, 25);
    Button1->setDefault(true);
    Button2 = DialogButton("Cancel", Panel1);
    Button2->setGeometry(168, 104, 57, 25);

    CalBtn = new QToolButton(Panel1);
    CalBtn->setGeometry(8, 64, 23, 22);
    CalBtn->setToolTip("Calendar");
    CalBtn->setAccessibleName("Calendar");
    CalBtn->setFocusPolicy(Qt::NoFocus);
    CalBtn->hide();

    // Escape is QDialog's reject; the buttons hand the focus back first.
    connect(Button1, &QPushButton::clicked, this, [this] {
        Edit1->setFocus();
        accept();
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        Edit1->setFocus();
        reject();
    });
}

void TFinpstr::BuildPanel()
{
    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setAutoFillBackground(true);
    // A fixed silver, so a light island whatever the desktop's colours:
    // dark text, a white entry, silver buttons, bevels shaded from silver.
    QPalette silver(QColor(192, 192, 192), QColor(192, 192, 192));
    silver.setColor(QPalette::WindowText, Qt::black);
    silver.setColor(QPalette::ButtonText, Qt::black);
    silver.setColor(QPalette::Text, Qt::black);
    silver.setColor(QPalette::Base, Qt::white);
    silver.setColor(QPalette::Highlight, QColor(0, 0, 128));
    silver.setColor(QPalette::HighlightedText, Qt::white);
    silver.setColor(QPalette::PlaceholderText, QColor(96, 96, 96));
    Panel1->setPalette(silver);
    Panel1->installEventFilter(this);
    Panel1->setMouseTracking(true);
    // The panel's outer bevel is raised; inside it lies a lowered one.
    InnerBevel = new QFrame(Panel1);
    InnerBevel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    InnerBevel->setLineWidth(2);
    InnerBevel->setAttribute(Qt::WA_TransparentForMouseEvents);
}

TFinpstr::~TFinpstr()
{
    RestoreCursor();
}

void TFinpstr::FitDialogToLabel(const QLabel *label)
{
    if (label->isHidden())
        return;
    const int needed = 2 * label->x() + label->width() + 4;
    if (needed > width())
        resize(needed, height());
}

bool TFinpstr::RunInputDialog(const QString &first, const QString &second, QString &text)
{
    Label1->setFont(SansFont(11, true)); // 8 point at 96 dpi
    Label2->setFont(SansFont(13, true)); // 10 point

    const Point p = BoxOpeningPoint();
    const Size screen = ScreenSize();
    const Size before = WindowSize(this);
    move(std::min(p.x, screen.width - before.width), std::min(p.y, screen.height - before.height));

    Label1->setText(first);
    Label1->adjustSize();
    Label2->setText(second);
    // The first line names the dialog and its entry, the second tells more.
    // Qt tells a screen reader of each new name, so a dialog used again with
    // another prompt is heard anew.
    setAccessibleName(first);
    Edit1->setAccessibleName(first);
    Edit1->setAccessibleDescription(second);
    Label2->adjustSize();
    Label2->setVisible(!second.isEmpty());

    FitDialogToLabel(Label1);
    FitDialogToLabel(Label2);

    Edit1->setText(text);
    Edit1->selectAll();
    Edit1->setFocus();

    if (exec() != QDialog::Accepted)
        return false;
    text = Edit1->text();
    return true;
}

bool TFinpstr::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Panel1) {
        if (event->type() == QEvent::MouseButtonPress) {
            Panel1MouseDown();
            return true;
        }
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonRelease)
            RestoreCursor();
    }
    return QDialog::eventFilter(watched, event);
}

void TFinpstr::Panel1MouseDown()
{
    if (!dragCursor_) {
        QGuiApplication::setOverrideCursor(Qt::SizeAllCursor);
        dragCursor_ = true;
    }
    // The window manager moves the dialog until the button is released.
    if (QWindow *win = windowHandle(); !win || !win->startSystemMove())
        RestoreCursor();
}

void TFinpstr::RestoreCursor()
{
    if (dragCursor_) {
        QGuiApplication::restoreOverrideCursor();
        dragCursor_ = false;
    }
}

void TFinpstr::hideEvent(QHideEvent *event)
{
    RestoreCursor();
    QDialog::hideEvent(event);
}

bool InputText(const QString &first, const QString &second, QString &text)
{
    TFinpstr *dlg = TFinpstr::instance();
    dlg->CalBtn->hide();
    return dlg->RunInputDialog(first, second, text);
}

bool InputInteger(const QString &first, const QString &second, std::int32_t &value)
{
    QString text = value > 0 ? QString::number(value) : QString();
    if (!InputText(first, second, text))
        return false;
    return IntFromText(text.toStdString(), value);
}

bool InputNumber(const QString &prompt, std::int32_t &value)
{
    return InputInteger(prompt, QString(), value);
}

void TFinpstr::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    Panel1->setGeometry(rect()); // the panel fills the window
    InnerBevel->setGeometry(Panel1->rect().adjusted(2, 2, -2, -2));
    InnerBevel->lower();
}
