#include "cal.h"
#include "calpick.h"
#include "cdatlib.h"
#include "datetext.h"
#include "inpstr.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "modal.h"

namespace {

// Chooses the item `caption` of the next pop-up menu.
void ChooseFromPopup(const QString &caption)
{
    WhenPopup<QMenu>([caption](QMenu *menu) {
        for (QAction *a : menu->actions())
            if (a->text() == caption) {
                menu->close();
                a->trigger();
            }
    });
}

QString TodayText()
{
    return QString::fromStdString(IsoDateShortDayText(Today()));
}

class CalTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        LibraryStartUp();
        CalStartUp();
    }
    void TearDown() override { DatesStartUp(); }

    // Runs PickDate on `text`, doing `inside` in the open window.
    bool Pick(QString &text, std::function<void(TFCal *)> inside)
    {
        WhenModal<TFCal>(std::move(inside));
        return PickDate(text);
    }

    // The grid's row of the first week, as the user reads it.
    static QStringList Week(TFCal *w, int row)
    {
        QStringList cells;
        for (int c = 0; c < 7; ++c)
            cells << w->CellText(c, row);
        return cells;
    }

    static void ClickDay(TFCal *w, int day, bool twice = false)
    {
        for (int r = 1; r <= 6; ++r)
            for (int c = 0; c < 7; ++c)
                if (w->CellText(c, r).trimmed() == QString::number(day)) {
                    QWidget *vp = w->StringGrid1->viewport();
                    const QPoint at =
                        w->StringGrid1->visualRect(w->StringGrid1->model()->index(r - 1, c))
                            .center();
                    // A double click comes after the click of its first press.
                    QTest::mouseClick(vp, Qt::LeftButton, {}, at);
                    if (twice)
                        QTest::mouseDClick(vp, Qt::LeftButton, {}, at);
                    return;
                }
        ADD_FAILURE() << "no cell for " << day;
    }

    TFinpstr inpstr;
    TFCal cal;
};

} // namespace

TEST_F(CalTest, PickDateOpensTheMonthAtTheDayAndReturnsTheFieldOnOk)
{
    QString text = "2024-05-06";
    QStringList week1;
    QString field, month, year;
    EXPECT_TRUE(Pick(text, [&](TFCal *w) {
        field = w->Edit1->text();
        month = w->MonthBtn->text();
        year = w->YearBtn->text();
        week1 = Week(w, 0);
        ClickDay(w, 14);
        w->okbtn->click();
    }));
    EXPECT_EQ(field, "2024-05-06 (Mon)");
    EXPECT_EQ(month, "May");
    EXPECT_EQ(year, "2024");
    EXPECT_EQ(week1, (QStringList{" Mon", " Tue", " Wed", " Thu", " Fri", " Sat", " Sun"}));
    EXPECT_EQ(text, "2024-05-14 (Tue)");
    EXPECT_EQ(Cal().LastPickedText, text);
}

TEST_F(CalTest, ImplausibleDatesOpenAtTodayAndCancelKeepsTheText)
{
    for (const char *start : {"9999-01-01", "2024-13-01", "no date"}) {
        QString text = start, field;
        EXPECT_FALSE(Pick(text, [&](TFCal *w) {
            field = w->Edit1->text();
            w->Button3->click();
        }));
        EXPECT_EQ(field, TodayText()) << start;
        EXPECT_EQ(text, start);
    }
    QString text = "2024-05-06";
    EXPECT_FALSE(Pick(text, [](TFCal *w) { QTest::keyClick(w, Qt::Key_Escape); }));
    EXPECT_EQ(text, "2024-05-06");
}

TEST_F(CalTest, TheThirtyFirstOfFebruaryShowsFebruaryWithoutIt)
{
    QString text = "2024-02-31", field;
    bool has31 = false;
    Pick(text, [&](TFCal *w) {
        field = w->Edit1->text();
        for (int r = 1; r <= 6; ++r)
            for (int c = 0; c < 7; ++c)
                has31 = has31 || w->CellText(c, r) == "  31";
        w->Button3->click();
    });
    EXPECT_EQ(field, "2024-02-31 (Thu)");
    EXPECT_FALSE(has31);
}

TEST_F(CalTest, AClickPicksADayAndADoubleClickEndsWithIt)
{
    QString text = "1752-09-02", field;
    EXPECT_TRUE(Pick(text, [&](TFCal *w) {
        EXPECT_EQ(Week(w, 1), (QStringList{"", "   1", "   2", "  14", "  15", "  16", "  17"}));
        ClickDay(w, 14);
        field = w->Edit1->text();
        ClickDay(w, 15, true);
    }));
    EXPECT_EQ(field, "1752-09-14 (Thu)");
    EXPECT_EQ(text, "1752-09-15 (Fri)");
}

TEST_F(CalTest, StepsAndTheMonthMenuKeepTheDay)
{
    QStringList fields;
    QString text = "2024-01-31";
    Pick(text, [&](TFCal *w) {
        w->SpeedButton4->click();
        fields << w->Edit1->text();
        w->SpeedButton3->click();
        fields << w->Edit1->text();
        w->SpeedButton2->click();
        fields << w->Edit1->text();
        ChooseFromPopup("July");
        w->MonthBtn->click();
        fields << w->Edit1->text();
        w->SpeedButton1->click();
        fields << w->Edit1->text();
        w->Button3->click();
    });
    // A 31st beyond the month counts as its last day.
    EXPECT_EQ(fields, (QStringList{"2024-02-31 (Thu)", "2025-02-31 (Fri)", "2025-01-31 (Fri)",
                                   "2025-07-31 (Thu)", "2024-07-31 (Wed)"}));
}

TEST_F(CalTest, TheYearPromptRefusesYearZeroAndKeepsSixteenBits)
{
    QString message, afterZero, afterBig;
    QString text = "2024-05-06";
    Pick(text, [&](TFCal *w) {
        WhenModal<TFinpstr>([&](TFinpstr *d) {
            WhenModal<QMessageBox>([&](QMessageBox *box) {
                message = box->text();
                box->accept();
            });
            d->Edit1->setText("0");
            d->Button1->click();
        });
        w->PromptYear();
        afterZero = w->YearBtn->text();
        WhenModal<TFinpstr>([](TFinpstr *d) {
            d->Edit1->setText("67536"); // 65536 + 2000
            d->Button1->click();
        });
        w->PromptYear();
        afterBig = w->YearBtn->text();
        w->Button3->click();
    });
    EXPECT_EQ(message, "Year 0 does not exist, the Julian calendar jumps from 1BC to 1AD");
    EXPECT_EQ(afterZero, "2024");
    EXPECT_EQ(afterBig, "2000");
}

TEST_F(CalTest, OptionsSetTheTransitionFromAPresetOrCancel)
{
    QString text = "2024-05-06";
    QStringList seen;
    Pick(text, [&](TFCal *w) {
        w->PageControl1->setCurrentIndex(1);
        seen << w->Edit2->text() + " " + w->Edit3->text();
        ChooseFromPopup("France");
        w->DeftsBtn->click();
        w->Button4->click(); // Cancel: nothing taken
        w->PageControl1->setCurrentIndex(1);
        seen << w->Edit2->text() + " " + w->Edit3->text();

        ChooseFromPopup("France");
        w->DeftsBtn->click();
        w->Button2->click();
        seen << w->Edit1->text() << w->MonthBtn->text() << Week(w, 2).join('|')
             << Week(w, 3).join('|');

        w->PageControl1->setCurrentIndex(1);
        ChooseFromPopup("Denmark / Norway");
        w->DeftsBtn->click();
        w->Button2->click();
        seen << Week(w, 1).join('|');
        w->SpeedButton2->click();
        seen << Week(w, 3).join('|');

        w->PageControl1->setCurrentIndex(1);
        w->Edit2->setText("yyyy-mm-dd");
        w->Button2->click();
        seen << QString::number(w->PageControl1->currentIndex());
        w->Button3->click();
    });
    EXPECT_EQ(seen, (QStringList{
                        "1752-09-02 1752-09-14", "1752-09-02 1752-09-14", "1582-12-20 (Mon)",
                        "December", "   3|   4|   5|   6|   7|   8|   9",
                        "  20|  21|  22|  23|  24|  25|  26", "   1|   2|   3|   4|   5|   6|   7",
                        "  12|  13|  14|  15|  16|  17|  18", "1"}));
}

TEST_F(CalTest, AReversedOrImpossibleTransitionStillShowsAMonth)
{
    QString text = "2024-05-06";
    QStringList seen;
    Pick(text, [&](TFCal *w) {
        w->PageControl1->setCurrentIndex(1);
        w->Edit2->setText("1752-09-14");
        w->Edit3->setText("1752-09-02");
        w->Button2->click();
        seen << w->Edit1->text().left(10) << Week(w, 5).join('|');
        for (const char *first : {"1752-13-02", "1752-09-00", "9999-01-10"}) {
            w->PageControl1->setCurrentIndex(1);
            w->Edit2->setText("1752-09-02");
            w->Edit3->setText(first);
            w->Button2->click();
            seen << w->Edit1->text().left(10);
        }
        w->Button3->click();
    });
    const QString today = TodayText().left(10);
    EXPECT_EQ(seen, (QStringList{"1752-09-02", "  28|  29|  30||||", today, today, "9999-01-10"}));
}

TEST_F(CalTest, TheInputDialogsCalendarButtonHandsThePickedDateToTheDialog)
{
    ConnectCalendarButton(TFinpstr::instance());
    QString result = "before";
    bool ok = false;
    WhenModal<TFinpstr>([](TFinpstr *d) {
        EXPECT_TRUE(d->CalBtn->isHidden()); // no entry point shows it
        d->Edit1->setText("2024-05-06");
        WhenModal<TFCal>([](TFCal *w) { w->okbtn->click(); });
        d->CalBtn->click();
    });
    ok = InputText("Date", "", result);
    EXPECT_TRUE(ok);
    EXPECT_EQ(result, "2024-05-06 (Mon)");
}

TEST_F(CalTest, TheOptionsPageShowsTheTransitionAsItIsEachTimeItIsShown)
{
    QString text = "2024-05-06";
    QStringList seen;
    Pick(text, [&](TFCal *w) {
        w->PageControl1->setCurrentIndex(1);
        w->Edit2->setText("typed, never confirmed");
        w->Button3->click(); // the window ends with the options page current
    });
    Pick(text, [&](TFCal *w) {
        seen << QString::number(w->PageControl1->currentIndex()) << w->Edit2->text()
             << w->Edit3->text();
        w->Button3->click();
    });
    EXPECT_EQ(seen, (QStringList{"1", "1752-09-02", "1752-09-14"}));
}
