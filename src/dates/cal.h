#pragma once

#include <QDialog>

#include "solewindow.h"

// The date picker's entry points and the module's state are in calpick.h:
// Qt's moc can't read <compare>, which the date types need.
struct TCalDate;

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QToolButton;
class QWidget;
class TFinpstr;

// The calendar window: a month under the day names, steps by year and month,
// and on its second page the Julian-to-Gregorian transition.
class TFCal : public QDialog, public SoleWindow<TFCal> {
    Q_OBJECT

  public:
    explicit TFCal(QWidget *parent = nullptr);

    void RefreshCalendar();
    void FillDayHeadings();
    void FillMonthGrid();
    bool PickCellDay();
    void PromptYear();

    // A cell of the grid: row 0 the headings, rows 1 to 6 the weeks.
    QString CellText(int column, int row) const;

    QTabWidget *PageControl1;
    QWidget *TabSheet1, *TabSheet2;
    QFrame *Panel1, *Panel2, *Panel3;
    QToolButton *SpeedButton1, *SpeedButton2, *SpeedButton3, *SpeedButton4;
    QPushButton *YearBtn, *MonthBtn, *Button1, *okbtn, *Button3;
    QTableWidget *StringGrid1;
    QLineEdit *Edit1;
    QMenu *PopupMenu2;

    QGroupBox *GroupBox1;
    QLabel *Label1, *Label2;
    QLineEdit *Edit2, *Edit3;
    QPushButton *DeftsBtn, *Button2, *Button4;
    QMenu *PopupMenu3;

    void Button2Click(); // the options' OK
    void Button4Click(); // the options' Cancel

  protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void BuildCalendarPage();
    void BuildGrid();
    void BuildOptionsPage();
    void ConnectSignals();
    void FormCreate();
    void January1Click(int month);
    void Button1Click();
    void Edit1Click();
    void FormShow();
    void StringGrid1Click();
    void StringGrid1DblClick();
    void okbtnClick();
    void TabSheet2Show();
    void Step(void (*step)(TCalDate &));
};
