#include "flash.h"

#include "fonts.h"
#include "screenplace.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QResizeEvent>
#include <QTimer>

#include <algorithm>

FlashState &Flash()
{
    static FlashState state;
    return state;
}

int FlashDisplayMs(qsizetype length, int baseMs)
{
    if (length <= 20)
        return baseMs;
    return static_cast<int>((baseMs / 20) * length);
}

namespace {

// A notification to a screen reader, which speaks one as it shows even
// though it does not take the keyboard; it closes by itself.
class NoticeAccessible : public QAccessibleWidget {
  public:
    explicit NoticeAccessible(QWidget *w) : QAccessibleWidget(w, QAccessible::Notification) {}
};

QAccessibleInterface *NoticeFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TFFlash") && object->isWidgetType())
        return new NoticeAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

TFFlash::TFFlash(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName("FFlash");
    static const bool factory = (QAccessible::installFactory(NoticeFactory), true);
    Q_UNUSED(factory);
    // The notice must not take the keyboard from the window the user is in.
    setAttribute(Qt::WA_ShowWithoutActivating);

    Panel1 = new QFrame(this);
    resize(260, 36);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setAutoFillBackground(true);

    Label1 = new QLabel(Panel1);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setFont(ArialFont(13, true));
    Label1->move(13, 12);

    Timer1 = new QTimer(this);
    // The notice stays its whole time: a coarse timer may end it early.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &TFFlash::Timer1Timer);
}

void TFFlash::Notice(const QString &text, const QString &spoken)
{
    FlashState &st = Flash();
    if (text.isEmpty()) {
        CloseFlash();
        return;
    }
    const QString said = spoken.isEmpty() ? text : spoken;
    spoken_ = Timer1->isActive() ? spoken_ + '\n' + said : said;
    st.FlashText = Timer1->isActive() ? st.FlashText + '\n' + text : text;

    // A running countdown keeps its schedule unless the time changes.
    const int ms = FlashDisplayMs(text.size(), st.FlashBaseMs);
    if (!Timer1->isActive() || Timer1->interval() != ms)
        Timer1->start(ms);

    st.FlashActive = true;
    ShowFlashText(st.FlashText);
}

void TFFlash::ShowFlashText(const QString &text)
{
    QPalette pal = Panel1->palette();
    pal.setColor(QPalette::Window, Flash().FlashColour);
    pal.setColor(QPalette::WindowText, Qt::black); // readable on aqua whatever the theme
    Panel1->setPalette(pal);

    Label1->setText(text);
    Label1->adjustSize();

    int w = isVisible() ? width() : 120;
    w = std::max(w, Label1->x() + Label1->width() + 20);
    const int h = std::max(20, 2 * Label1->y() + Label1->height());
    resize(w, h);

    // Named before it shows, since showing is what a screen reader speaks;
    // a notice added to one on screen shows again.
    setAccessibleName(spoken_);
    const bool shown = isVisible();
    ShowNearCursor(this);
    raise();
    if (shown) {
        QAccessibleEvent again(this, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&again);
    }
    // Painted before the caller goes on; user input waits its turn.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TFFlash::Timer1Timer()
{
    Timer1->stop();
    if (Flash().FlashActive)
        CloseFlash();
}

void TFFlash::CloseFlash()
{
    Timer1->stop();
    hide();
    Flash().FlashActive = false;
}

void FlashNotice(const QString &text, const QString &spoken)
{
    TFFlash::instance()->Notice(text, spoken);
}

void TFFlash::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Panel1->setGeometry(rect()); // the panel fills the window
}
