#include "ctrl.h"

#include "announce.h"
#include "boxes.h"
#include "cdatlib.h"
#include "flash.h"
#include "fonts.h"
#include "inpstr.h"
#include "keyboard.h"
#include "randomsource.h"
#include "screenplace.h"
#include "strength.h"
#include "widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

// The character list keeps the caret where it is when tabbed into, rather
// than selecting everything the user typed. Nor does its caret move as it
// takes the focus: a screen reader would take the move for the focus, and
// say the text without the list's name and role.
class ListEdit : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;

  protected:
    void focusInEvent(QFocusEvent *e) override
    {
        if (e->reason() == Qt::MouseFocusReason) {
            QLineEdit::focusInEvent(e);
            return;
        }
        QFocusEvent plain(e->type(), Qt::OtherFocusReason);
        QLineEdit::focusInEvent(&plain);
    }
};

// Zeroes a text before it is dropped, when no one else shares it.
void WipeIfSole(QString &s)
{
    if (s.isDetached())
        std::fill(s.begin(), s.end(), QChar(0));
    s.clear();
}

// What the list does in the mode chosen, told as it takes the focus: it
// confirms the choice.
const char *ListUse(const CharChoices &c)
{
    if (!c.special)
        return "No special characters are used";
    switch (c.mode) {
    case SpecialMode::AnyExcept:
        return "Any except those below: the special characters typed here are left out";
    case SpecialMode::OnlyThose:
        return "Only those below: only the special characters typed here are used";
    default:
        return "Any: every special character may be used, whatever the list holds";
    }
}

QPushButton *BoldButton(const QString &caption, QWidget *parent)
{
    return CaptionButton(caption, parent, SansFont(11, true));
}

} // namespace

Tfctrl::Tfctrl(RandomSource &random, QWidget *parent) : QMainWindow(parent), random_(random)
{
    setObjectName("fctrl");
    setWindowTitle("Strong password generator");
    setFont(SansFont(11));

    auto *bar = menuBar();
    Exit1 = bar->addAction("Exit");
    Notepad1 = bar->addAction("Notepad");
    About1 = bar->addAction("About");
    UseMenuBarByKeys(this);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setCentralWidget(Panel1);
    BuildCharacterSet();
    BuildPasswordControls();
    ConnectSignals();

    // Outer 360 x 454 with its frame: the client area below the menu holds
    // the panel, 344 x 395. Its controls sit at fixed places, so it is never
    // made smaller than that.
    resize(344, 395 + bar->sizeHint().height());
    setMinimumSize(size());
    move(379, 45);
    KeepOnScreenWhenShown(this);

    FormCreate();
}

void Tfctrl::BuildCharacterSet()
{
    GroupBox2 = Place(new QGroupBox("Character set", Panel1), 16, 16, 321, 273);
    GroupBox2->setFont(SansFont(13, true));
    const QFont choiceFont = SansFont(13);
    auto check = [&](const char *caption, const char *hint, int top, int width, bool on) {
        auto *c = new QCheckBox(caption, GroupBox2);
        c->setFont(choiceFont);
        // The system font may be wider than the width given.
        Place(c, 16, top, std::max(width, c->sizeHint().width()), 17);
        c->setToolTip(hint);
        c->setChecked(on);
        return c;
    };
    uc1 = check("Uppercase A-Z", "ASCII 65-90", 32, 137, true);
    lc1 = check("Lowercase a-z", "ASCII 97-122", 56, 137, true);
    dg1 = check("Digits 0-9", "ASCII 48-57", 80, 97, true);
    spc1 = check("Space", "ASCII 32", 104, 137, false);
    sp1 = check("Special characters", "ASCII 33-126 except those above", 128, 153, true);

    auto radio = [&](const char *caption, int top, int width) {
        auto *r = new QRadioButton(caption, GroupBox2);
        r->setFont(choiceFont);
        Place(r, 32, top, std::max(width, r->sizeHint().width()), 17);
        return r;
    };
    any1 = radio("Any", 152, 113);
    anyex1 = radio("Any except those below", 176, 169);
    only1 = radio("Only those below", 200, 169);
    any1->setChecked(true);

    ShowBtn = Place(CaptionButton("Show", GroupBox2, SansFont(11)), 96, 152, 41, 17);

    Edit2 = Place(new ListEdit(GroupBox2), 32, 225, 273, 24);
    Edit2->setFont(CourierNewFont(13, true));
    Edit2->setAccessibleName("Special characters list");
}

void Tfctrl::BuildPasswordControls()
{
    Button4 = Place(BoldButton("", Panel1), 252, 23, 83, 25);

    Edit1 = Place(new QLineEdit(Panel1), 16, 312, 321, 32);
    Edit1->setFont(SansFont(19));
    Edit1->setMaxLength(std::numeric_limits<int>::max());
    Edit1->setAccessibleName("Password");

    Button1 = Place(BoldButton("Generate", Panel1), 16, 364, 65, 25);
    Button1->setToolTip("Generates a new password");
    Button2 = Place(BoldButton("", Panel1), 88, 364, 65, 25);
    SetUseCaption("Use");
    Button2->setEnabled(false);
    Button5 = Place(BoldButton("Discard", Panel1), 160, 364, 65, 25);
    Button5->setEnabled(false);
    Button3 = Place(BoldButton("Exit", Panel1), 272, 364, 65, 25);
    PressOnEnter({Button1, Button2, Button5, Button3, ShowBtn, Button4});

    QWidget *order[] = {Edit1, Button1, Button2, Button3, uc1,  lc1,     dg1,     sp1,
                        any1,  anyex1,  only1,   Edit2,   spc1, ShowBtn, Button4, Button5};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void Tfctrl::ConnectSignals()
{
    // Escape presses the Exit button, as a dialog's cancel button would.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, Button3, &QPushButton::click);

    connect(Exit1, &QAction::triggered, this, &Tfctrl::Button3Click);
    connect(Notepad1, &QAction::triggered, this, &Tfctrl::Notepad1Click);
    connect(About1, &QAction::triggered, this, &Tfctrl::About1Click);
    connect(Button1, &QPushButton::clicked, this, &Tfctrl::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &Tfctrl::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &Tfctrl::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &Tfctrl::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &Tfctrl::Button5Click);
    connect(ShowBtn, &QPushButton::clicked, this, &Tfctrl::ShowBtnClick);
    connect(sp1, &QCheckBox::toggled, this, &Tfctrl::sp1Click);
    // The strength told is that of the password Generate made: it goes with
    // any other change of the box (Use, Discard, Recall, the user's typing).
    connect(Edit1, &QLineEdit::textChanged, this, [this] { ShowStrength(QString()); });
    for (QRadioButton *r : {any1, anyex1, only1})
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                any1Click();
        });
}

Tfctrl::~Tfctrl()
{
    WipeIfSole(savedPassword_);
}

void Tfctrl::SetCompanionWindows(WindowSource notepad, WindowSource about)
{
    notepad_ = std::move(notepad);
    about_ = std::move(about);
}

void Tfctrl::FormCreate()
{
    SetPasswordLength(15);
}

void Tfctrl::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void Tfctrl::FormShow()
{
    UpdateListControls();
}

void Tfctrl::closeEvent(QCloseEvent *event)
{
    if (exitCheck_ && !exitCheck_()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    // The main window closing ends the program, whatever else is open.
    if (event->isAccepted())
        QCoreApplication::quit();
}

void Tfctrl::SetPasswordLength(int n)
{
    passwordLength_ = n;
    Button4->setText(QStringLiteral("Length=%1").arg(n));
}

CharChoices Tfctrl::Choices() const
{
    CharChoices c;
    c.upper = uc1->isChecked();
    c.lower = lc1->isChecked();
    c.digits = dg1->isChecked();
    c.space = spc1->isChecked();
    c.special = sp1->isChecked();
    c.mode = only1->isChecked()    ? SpecialMode::OnlyThose
             : anyex1->isChecked() ? SpecialMode::AnyExcept
                                   : SpecialMode::Any;
    // Only ASCII can match a special character; anything else must not turn
    // into one ('?') on the way to 8 bits.
    for (const QChar ch : Edit2->text())
        if (ch.unicode() < 128)
            c.list += static_cast<char>(ch.unicode());
    return c;
}

void Tfctrl::sp1Click()
{
    const bool on = sp1->isChecked();
    for (QRadioButton *r : {any1, anyex1, only1})
        r->setEnabled(on);
    UpdateListControls();
}

void Tfctrl::any1Click()
{
    UpdateListControls();
}

void Tfctrl::UpdateListControls()
{
    const bool listActive = sp1->isChecked() && (only1->isChecked() || anyex1->isChecked());
    EnableEdit(Edit2, listActive);
    Edit2->setAccessibleDescription(ListUse(Choices()));
    if (listActive && Edit2->text().isEmpty())
        FocusList();
    ShowBtn->setEnabled(sp1->isChecked() && any1->isChecked());
}

void Tfctrl::FocusList()
{
    // An arrow key that chose a radio button gives that button the focus
    // once this returns: the button passes it on to the list, so that the
    // focus moves once and a screen reader tells of the list alone. Tab
    // comes back to the group at the chosen button, as after a focus there.
    QWidget *f = focusWidget();
    const std::initializer_list<QRadioButton *> group{any1, anyex1, only1};
    for (QRadioButton *r : group)
        if (r->isChecked() && f != r && std::find(group.begin(), group.end(), f) != group.end()) {
            r->setFocusProxy(Edit2);
            QTimer::singleShot(0, r, [r] { r->setFocusProxy(nullptr); });
            for (QRadioButton *b : group)
                b->setFocusPolicy(b == r ? Qt::StrongFocus : Qt::ClickFocus);
        }
    Edit2->setFocus();
}

void Tfctrl::EnablePasswordButtons(bool enabled)
{
    Button2->setEnabled(enabled);
    Button5->setEnabled(enabled);
}

void Tfctrl::Button1Click()
{
    GenerateResult r;
    try {
        r = GeneratePassword(Choices(), passwordLength_, random_);
    } catch (const RandomSourceError &e) {
        InfoBox(QString("The system's random generator failed (%1), so no password was "
                        "generated.")
                    .arg(QString::fromLocal8Bit(e.what())));
        return;
    }
    if (r.status != GenerateStatus::Ok) {
        InfoBox(RefusalText(r.status));
        return;
    }
    // setText leaves the box without an undo history: the password it
    // replaces can't come back.
    Edit1->setText(QString::fromLatin1(r.password.data(), qsizetype(r.password.size())));
    const QString strength =
        QString::fromStdString(StrengthText(PasswordStrengthBits(Choices(), passwordLength_)));
    ShowStrength(strength);
    SetUseCaption("Use");
    EnablePasswordButtons(true);
    // Never the password: only that there is one, and how strong.
    Announce(this, "New password, " + strength);
}

void Tfctrl::SetUseCaption(const QString &caption)
{
    Button2->setText(caption);
    Button2->setToolTip(caption == "Recall" ? "Brings the moved password back into the box"
                                            : "Moves the password to the clipboard");
}

void Tfctrl::ShowStrength(const QString &strength)
{
    const QString hint = strength.isEmpty() ? QString() : "Strength: " + strength;
    Edit1->setToolTip(hint);
    Edit1->setAccessibleDescription(hint);
}

void Tfctrl::Button2Click()
{
    if (Button2->text() == "Recall") {
        Edit1->setText(savedPassword_);
        SetUseCaption("Use");
        Announce(this, "Password back in the box");
        return;
    }
    if (Edit1->text().isEmpty())
        return;
    const QString password = Edit1->text();
    SetUseCaption("Recall");

    auto *mime = new QMimeData;
    mime->setText(password);
    // Clipboard managers that honour this keep no history of the password.
    mime->setData("x-kde-passwordManagerHint", "secret");
    QGuiApplication::clipboard()->setMimeData(mime);
    // Emptied with no undo history, so no Ctrl+Z brings it back.
    Edit1->setText(QString());
    // The clipboard has let go of the previous password: this is its last copy.
    WipeIfSole(savedPassword_);
    savedPassword_ = password;

    FlashNotice("password moved to clipboard");
}

void Tfctrl::Button5Click()
{
    if (!ConfirmOK("Discard password"))
        return;
    Edit1->setText(QString()); // no undo history: Ctrl+Z can't bring it back
    EnablePasswordButtons(false);
}

void Tfctrl::ShowBtnClick()
{
    // The list takes the focus before its text changes: a screen reader
    // told of a change just before the focus comes takes the change for the
    // focus, and says the characters without the list's name and role.
    // Clear can find the list greyed out since Show; the focus stays put
    // then.
    const bool show = ShowBtn->text() == "Show";
    if (show)
        Edit2->setEnabled(true);
    if (Edit2->isEnabled())
        Edit2->setFocus();
    if (show) {
        FillSpecialList();
        ShowBtn->setText("Clear");
    } else {
        Edit2->clear();
        ShowBtn->setText("Show");
    }
}

void Tfctrl::FillSpecialList()
{
    Edit2->setText(QString::fromLatin1(SpecialCharacters()));
    // Enabled directly: it keeps the grey it has while "Any" is selected.
    Edit2->setEnabled(true);
}

void Tfctrl::Button4Click()
{
    std::int32_t n = passwordLength_;
    if (InputNumber("Password length ( 8-255 )", n) && n >= 8 && n <= 255)
        SetPasswordLength(n);
}

void Tfctrl::Button3Click()
{
    close();
}

void Tfctrl::Notepad1Click()
{
    if (notepad_)
        BringToFront(notepad_());
}

void Tfctrl::About1Click()
{
    if (about_)
        BringToFront(about_());
}
