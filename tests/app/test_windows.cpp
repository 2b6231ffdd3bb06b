// Every window of the program as a user sees it at the default fonts: what
// is written fits where it is put, stays readable on a dark desktop, and no
// control is lost when a window is made small.
#include "about1.h"
#include "cal.h"
#include "cdatlib.h"
#include "ctrl.h"
#include "flash.h"
#include "inpstr.h"
#include "notepad.h"
#include "startup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include "modal.h"

namespace {

// The windows of a started program, each shown with text in it; `look` runs
// on each while it is up. The input dialog is modal, so it is looked at
// inside its own run.
void ForEachWindow(const std::function<void(QWidget *)> &look)
{
    QTemporaryDir dir;
    auto w = StartUp(dir.path());
    FlashNotice("Exported OK");
    TFCal *cal = TFCal::instance();
    cal->RefreshCalendar();
    for (QWidget *window :
         {static_cast<QWidget *>(w->fctrl.get()), static_cast<QWidget *>(w->flash.get()),
          static_cast<QWidget *>(cal), static_cast<QWidget *>(w->About()),
          static_cast<QWidget *>(w->notepad.get())}) {
        window->show();
        QApplication::processEvents();
        look(window);
        if (window == cal) {
            cal->PageControl1->setCurrentIndex(1);
            look(window);
        }
    }
    WhenModal<TFinpstr>([&](TFinpstr *d) {
        look(d);
        d->Button2->click();
    });
    QString text;
    InputText("Search for", "(afterwards use F3 for Find Next)", text);
    FlashNotice("");
}

QString Name(const QWidget *w)
{
    return QString("%1 %2 \"%3\"")
        .arg(w->window()->objectName(), w->metaObject()->className(),
             qobject_cast<const QLabel *>(w) ? static_cast<const QLabel *>(w)->text()
                                             : w->objectName());
}

double Luminance(QRgb c)
{
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

// The contrast between a text's strongest pixel and its background, the
// colour most of its area has.
double TextContrast(const QImage &image)
{
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y) | 0xFF000000];
    const QRgb background = std::max_element(counts.begin(), counts.end(), [](auto &a, auto &b) {
                                return a.second < b.second;
                            })->first;
    const double lb = Luminance(background);
    double best = 1;
    for (const auto &[colour, n] : counts) {
        const double l = Luminance(colour);
        best = std::max(best, (std::max(l, lb) + 0.05) / (std::min(l, lb) + 0.05));
    }
    return best;
}

bool HasText(const QWidget *w)
{
    if (auto *l = qobject_cast<const QLabel *>(w))
        return !l->text().isEmpty();
    if (auto *m = qobject_cast<const QPlainTextEdit *>(w))
        return !m->toPlainText().isEmpty();
    return qobject_cast<const QCheckBox *>(w) || qobject_cast<const QRadioButton *>(w);
}

} // namespace

TEST(Windows, EveryLabelFitsItsRoomAndCoversNoOtherControl)
{
    int labels = 0;
    ForEachWindow([&](QWidget *window) {
        for (QLabel *l : window->findChildren<QLabel *>()) {
            if (!l->isVisible() || l->text().isEmpty())
                continue;
            ++labels;
            EXPECT_LE(l->sizeHint().width(), l->width()) << Name(l).toStdString();
            EXPECT_TRUE(l->parentWidget()->rect().contains(l->geometry())) << Name(l).toStdString();
            for (QObject *o : l->parent()->children()) {
                auto *other = qobject_cast<QWidget *>(o);
                // Bare frames are bevels drawn around or under the others.
                if (!other || other == l || !other->isVisible()
                    || QByteArray(other->metaObject()->className()) == "QFrame")
                    continue;
                EXPECT_FALSE(l->geometry().intersects(other->geometry()))
                    << Name(l).toStdString() << " runs into " << Name(other).toStdString();
            }
        }
    });
    EXPECT_GE(labels, 6);
}

TEST(Windows, EveryTextIsReadableOnADarkDesktop)
{
    const QPalette before = QApplication::palette();
    QPalette dark;
    for (auto [role, colour] : {std::pair{QPalette::Window, QColor(0x30, 0x30, 0x30)},
                                {QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE)},
                                {QPalette::Base, QColor(0x24, 0x24, 0x24)},
                                {QPalette::Text, QColor(0xEE, 0xEE, 0xEE)},
                                {QPalette::Button, QColor(0x3A, 0x3A, 0x3A)},
                                {QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE)}})
        dark.setColor(role, colour);
    QApplication::setPalette(dark);
    int texts = 0;
    ForEachWindow([&](QWidget *window) {
        const QImage shot = window->grab().toImage();
        for (QWidget *w : window->findChildren<QWidget *>()) {
            if (!w->isVisible() || !HasText(w))
                continue;
            ++texts;
            const QRect area(w->mapTo(window, QPoint()), w->size());
            EXPECT_GE(TextContrast(shot.copy(area)), 4.5) << Name(w).toStdString();
        }
    });
    QApplication::setPalette(before);
    EXPECT_GE(texts, 15);
}

TEST(Windows, NoControlIsLostWhenAWindowIsMadeSmall)
{
    ForEachWindow([](QWidget *window) {
        if (window->windowFlags() & Qt::FramelessWindowHint)
            return; // the notice and the input dialog size themselves
        window->resize(1, 1);
        QApplication::processEvents();
        for (QAbstractButton *b : window->findChildren<QAbstractButton *>()) {
            if (!b->isVisible() || b->objectName().startsWith("qt_"))
                continue;
            const QRect in(b->mapTo(window, QPoint()), b->size());
            EXPECT_TRUE(window->rect().contains(in))
                << Name(b).toStdString() << " " << b->text().toStdString();
        }
    });
}
