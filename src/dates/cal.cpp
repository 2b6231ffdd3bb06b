#include "cal.h"
#include "calpick.h"

#include "boxes.h"
#include "calgrid.h"
#include "cdatlib.h"
#include "datetext.h"
#include "fonts.h"
#include "inpstr.h"
#include "libstate.h"
#include "screenplace.h"
#include "textutil.h"
#include "widgets.h"

#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kRows = 6; // weeks below the headings
constexpr int kColumns = 7;

QFrame *Bar(QWidget *parent, int height)
{
    QFrame *p = LoweredPanel(parent);
    p->setFixedHeight(height);
    return p;
}

QToolButton *Triangle(QWidget *parent, Qt::ArrowType arrow, int left)
{
    auto *b = Place(new QToolButton(parent), left, 5, 20, 20);
    b->setArrowType(arrow);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QPushButton *Button(const QString &caption, QWidget *parent, int pixels, bool tabStop)
{
    return CaptionButton(caption, parent, ArialFont(pixels, true), tabStop);
}

TCalDate ParsedOr(const QString &text, TCalDate fallback)
{
    TCalDate d = fallback;
    ParseIsoDate(text.toStdString(), d);
    return d;
}

struct Preset {
    const char *caption, *lastJulian, *firstGregorian;
};
constexpr Preset kPresets[] = {
    {"Spain / Portugal / Italy / Poland ", "1582-10-04", "1582-10-15"},
    {"France", "1582-12-09", "1582-12-20"},
    {"Denmark / Norway", "1700-02-18", "1700-03-01"},
    {"Great Britain and (then) colonies", "1752-09-02", "1752-09-14"},
};

} // namespace

CalState &Cal()
{
    static CalState state;
    return state;
}

void CalStartUp()
{
    Cal() = CalState{};
}

TFCal::TFCal(QWidget *parent) : QDialog(parent)
{
    setObjectName("FCal");
    setWindowTitle(" Calendar");
    setFont(SansFont(11));
    setModal(true);
    // Outer 371 x 390 with its frame; its controls sit at fixed places.
    resize(355, 351);
    setMinimumSize(size());

    PageControl1 = new QTabWidget(this);
    PageControl1->setTabPosition(QTabWidget::South);
    auto *whole = new QVBoxLayout(this);
    whole->setContentsMargins(0, 0, 0, 0);
    whole->addWidget(PageControl1);

    BuildCalendarPage();
    BuildOptionsPage();
    ConnectSignals();
    FormCreate();
}

void TFCal::BuildCalendarPage()
{
    TabSheet1 = new QWidget;
    PageControl1->addTab(TabSheet1, "Calendar");
    auto *page = new QVBoxLayout(TabSheet1);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    Panel1 = Bar(TabSheet1, 31);
    Panel1->setFont(SansFont(13, true));
    Panel1->setToolTip("Right click to select year");
    SpeedButton1 = Triangle(Panel1, Qt::LeftArrow, 108);
    SpeedButton1->setAccessibleName("Previous year");
    YearBtn = Place(Button("", Panel1, 13, false), 128, 5, 83, 20);
    SpeedButton3 = Triangle(Panel1, Qt::RightArrow, 211);
    SpeedButton3->setAccessibleName("Next year");

    Panel2 = Bar(TabSheet1, 30);
    Panel2->setFont(SansFont(13, true));
    Panel2->setToolTip("Right click to select month");
    Panel2->setContextMenuPolicy(Qt::CustomContextMenu);
    SpeedButton2 = Triangle(Panel2, Qt::LeftArrow, 108);
    SpeedButton2->setAccessibleName("Previous month");
    MonthBtn = Place(Button("", Panel2, 13, false), 128, 5, 83, 20);
    SpeedButton4 = Triangle(Panel2, Qt::RightArrow, 211);
    SpeedButton4->setAccessibleName("Next month");

    BuildGrid();

    Panel3 = Bar(TabSheet1, 43);
    Button1 = Place(Button("Today", Panel3, 13, false), 12, 10, 55, 25);
    Edit1 = Place(new QLineEdit(Panel3), 84, 11, 121, 24);
    Edit1->setFont(ArialFont(13, true));
    Edit1->setAccessibleName("Date");
    Edit1->installEventFilter(this);
    okbtn = Place(Button("OK", Panel3, 13, false), 222, 10, 55, 25);
    okbtn->setDefault(true);
    Button3 = Place(Button("Cancel", Panel3, 13, false), 288, 10, 55, 25);

    page->addWidget(Panel1);
    page->addWidget(Panel2);
    page->addWidget(StringGrid1, 1);
    page->addWidget(Panel3);

    PopupMenu2 = new QMenu(this);
    for (int m = 1; m <= 12; ++m) {
        QAction *a = PopupMenu2->addAction(QString::fromStdString(MonthName(m)));
        connect(a, &QAction::triggered, this, [this, m] { January1Click(m); });
    }
}

void TFCal::BuildGrid()
{
    StringGrid1 = new QTableWidget(kRows, kColumns, TabSheet1);
    StringGrid1->setFont(CourierNewFont(13, true));
    StringGrid1->setAccessibleName("Days of the month");
    QHeaderView *headings = StringGrid1->horizontalHeader();
    headings->setFont(CourierNewFont(13, true));
    headings->setSectionResizeMode(QHeaderView::Fixed);
    headings->setDefaultSectionSize(48);
    headings->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    headings->setSectionsClickable(false);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(24);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setShowGrid(true);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            StringGrid1->setItem(r, c, new QTableWidgetItem);
}

void TFCal::BuildOptionsPage()
{
    TabSheet2 = new QWidget;
    PageControl1->addTab(TabSheet2, "Options");
    GroupBox1 = Place(new QGroupBox("Transition from Julian to Gregorian calendar", TabSheet2), 10,
                      12, 337, 223);
    GroupBox1->setFont(SansFont(11, true));
    Label1 = Place(new QLabel("last Julian day", GroupBox1), 24, 54, 100, 16);
    Label2 = Place(new QLabel("first Gregorian day", GroupBox1), 24, 90, 100, 16);
    for (QLabel *l : {Label1, Label2}) {
        l->setFont(SansFont(11));
        l->adjustSize();
    }
    // The edits make room for labels wider than 100 pixels in the system font.
    const int editLeft = std::max(126, 24 + std::max(Label1->width(), Label2->width()) + 4);
    Edit2 = Place(new QLineEdit("yyyy-mm-dd", GroupBox1), editLeft, 48, 79, 21);
    Edit2->setToolTip("date in format yyyy-mm-dd ( see ISO 8601 )");
    Edit2->setAccessibleName("Last Julian day");
    Edit3 = Place(new QLineEdit("yyyy-mm-dd", GroupBox1), editLeft, 84, 79, 21);
    Edit3->setAccessibleName("First Gregorian day");
    for (QLineEdit *e : {Edit2, Edit3})
        e->setFont(SansFont(11));
    DeftsBtn = Place(Button("some defaults", GroupBox1, 11, true), 24, 138, 91, 25);
    Button2 = Place(Button("OK", GroupBox1, 11, true), 138, 138, 75, 25);
    Button4 = Place(Button("Cancel", GroupBox1, 11, true), 222, 138, 75, 25);

    PopupMenu3 = new QMenu(this);
    for (const Preset &p : kPresets) {
        QAction *a = PopupMenu3->addAction(p.caption);
        connect(a, &QAction::triggered, this, [this, p] {
            Edit2->setText(p.lastJulian);
            Edit3->setText(p.firstGregorian);
        });
    }
}

void TFCal::ConnectSignals()
{
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { Step(PrevYear); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { Step(NextYear); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { Step(PrevMonth); });
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { Step(NextMonth); });
    connect(YearBtn, &QPushButton::clicked, this, &TFCal::PromptYear);
    connect(MonthBtn, &QPushButton::clicked, this, [this] { PopupAtCursor(PopupMenu2); });
    connect(Panel2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu2->exec(Panel2->mapToGlobal(at)); });
    connect(Button1, &QPushButton::clicked, this, &TFCal::Button1Click);
    // A click, a move of the current cell by the keys and the program's own
    // move all notify; GridFilling tells the last apart.
    connect(StringGrid1, &QTableWidget::cellClicked, this, &TFCal::StringGrid1Click);
    connect(StringGrid1, &QTableWidget::currentCellChanged, this, &TFCal::StringGrid1Click);
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this, &TFCal::StringGrid1DblClick);
    connect(okbtn, &QPushButton::clicked, this, &TFCal::okbtnClick);
    connect(Button3, &QPushButton::clicked, this, &QDialog::reject);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1)
            TabSheet2Show();
    });
    connect(DeftsBtn, &QPushButton::clicked, this, [this] { PopupAtCursor(PopupMenu3); });
    connect(Button2, &QPushButton::clicked, this, &TFCal::Button2Click);
    connect(Button4, &QPushButton::clicked, this, &TFCal::Button4Click);
}

void TFCal::January1Click(int month)
{
    Cal().CurrentCalDate.Month = static_cast<std::uint16_t>(month);
    RefreshCalendar();
}

void TFCal::Button1Click()
{
    Cal().CurrentCalDate = Today();
    RefreshCalendar();
}

void TFCal::FormCreate()
{
    DeftsBtn->setToolTip("a huge variety of national transitions to Gregorian calendar since 1582\n"
                         "complicated by significant changes to national boundaries since then");
}

void TFCal::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFCal::FormShow()
{
    FillDayHeadings();
    // The options page shows the transition as it is, whatever was typed
    // there before the window last closed.
    if (PageControl1->currentWidget() == TabSheet2)
        TabSheet2Show();
}

bool TFCal::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Edit1 && event->type() == QEvent::MouseButtonPress) {
        Edit1Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFCal::Edit1Click()
{
    Edit1->setFocus(Qt::MouseFocusReason);
    Edit1->selectAll();
}

void TFCal::Step(void (*step)(TCalDate &))
{
    step(Cal().CurrentCalDate);
    RefreshCalendar();
}

void TFCal::RefreshCalendar()
{
    const TCalDate d = Cal().CurrentCalDate;
    YearBtn->setText(QString::number(d.Year));
    MonthBtn->setText(QString::fromStdString(MonthName(d.Month)));
    YearBtn->setAccessibleName("Year " + YearBtn->text());
    MonthBtn->setAccessibleName("Month " + MonthBtn->text());
    Edit1->setText(QString::fromStdString(IsoDateShortDayText(d)));
    FillMonthGrid();
}

void TFCal::FillDayHeadings()
{
    QStringList headings;
    for (int c = 0; c < kColumns; ++c)
        headings << QString::fromStdString(DayHeadingText(c));
    StringGrid1->setHorizontalHeaderLabels(headings);
}

void TFCal::FillMonthGrid()
{
    const MonthGrid grid = MonthGridFor(Cal().CurrentCalDate);
    for (int r = 1; r <= kRows; ++r)
        for (int c = 0; c < kColumns; ++c) {
            const int day = grid.at(c, r);
            StringGrid1->item(r - 1, c)->setText(day ? QString::fromStdString(DayCellText(day))
                                                     : QString());
        }
    if (grid.current) {
        const QScopedValueRollback filling(Lib().GridFilling, true);
        StringGrid1->setCurrentCell(grid.current->row - 1, grid.current->column);
    }
}

QString TFCal::CellText(int column, int row) const
{
    if (row == 0) {
        const QTableWidgetItem *h = StringGrid1->horizontalHeaderItem(column);
        return h ? h->text() : QString();
    }
    return StringGrid1->item(row - 1, column)->text();
}

bool TFCal::PickCellDay()
{
    const QTableWidgetItem *cell = StringGrid1->currentItem();
    if (!cell || cell->text().isEmpty())
        return false;
    std::int32_t day = 0;
    if (!IntFromText(cell->text().toStdString(), day))
        return false;
    Cal().CurrentCalDate.Day = static_cast<std::uint16_t>(day);
    return true;
}

void TFCal::StringGrid1Click()
{
    if (Lib().GridFilling)
        return;
    if (PickCellDay())
        RefreshCalendar();
}

void TFCal::StringGrid1DblClick()
{
    if (PickCellDay())
        accept();
}

void TFCal::okbtnClick()
{
    Cal().CurrentCalDate = IsoDateOrZero(Edit1->text().toStdString());
    accept();
}

void TFCal::PromptYear()
{
    std::int32_t value = Cal().CurrentCalDate.Year;
    if (!InputNumber("Enter year", value))
        return;
    if (value == 0) {
        InfoBox("Year 0 does not exist, the Julian calendar jumps from 1BC to 1AD");
        return;
    }
    Cal().CurrentCalDate.Year = static_cast<std::uint16_t>(value);
    RefreshCalendar();
}

void TFCal::TabSheet2Show()
{
    Edit2->setText(QString::fromStdString(IsoDateText(Calendar().LastJulianDay)));
    Edit3->setText(QString::fromStdString(IsoDateText(Calendar().FirstGregorianDay)));
}

void TFCal::Button2Click()
{
    TCalDate lastJulian, firstGregorian;
    if (!ParseIsoDate(Edit2->text().toStdString(), lastJulian)
        || !ParseIsoDate(Edit3->text().toStdString(), firstGregorian))
        return;
    SetLastJulianDay(lastJulian);
    SetFirstGregorianDay(firstGregorian);
    PageControl1->setCurrentIndex(0);
    // A transition typed with a month 13 or a day 0 still leaves a month to show.
    const TCalDate &d = firstGregorian;
    const bool real =
        d.Year >= 1 && d.Year <= 9999 && d.Month >= 1 && d.Month <= 12 && d.Day >= 1 && d.Day <= 31;
    Cal().CurrentCalDate = real ? firstGregorian : Today();
    RefreshCalendar();
}

void TFCal::Button4Click()
{
    PageControl1->setCurrentIndex(0);
}

bool PickDateInWindow(TCalDate &d)
{
    TFCal *w = TFCal::instance();
    Cal().CurrentCalDate = IsPlausibleDate(d) ? d : Today();
    w->RefreshCalendar();
    PlaceNearCursor(w);
    if (w->exec() != QDialog::Accepted)
        return false;
    d = Cal().CurrentCalDate;
    return true;
}

bool PickDate(QString &text)
{
    TCalDate d = ParsedOr(text, Today());
    if (!PickDateInWindow(d))
        return false;
    Cal().LastPickedText = TFCal::instance()->Edit1->text();
    text = Cal().LastPickedText;
    return true;
}

void ConnectCalendarButton(TFinpstr *dialog)
{
    QObject::connect(dialog->CalBtn, &QToolButton::clicked, dialog,
                     [dialog] { CalBtnClick(dialog); });
}

void CalBtnClick(TFinpstr *dialog)
{
    QString text = dialog->Edit1->text();
    TCalDate unused;
    if (!ParseIsoDate(text.toStdString(), unused))
        text = Cal().LastPickedText;
    if (PickDate(text)) {
        dialog->Edit1->setText(text);
        dialog->Button1->click();
    }
}
