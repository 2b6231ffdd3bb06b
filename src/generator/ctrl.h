#pragma once

#include "passwordgen.h"

#include <QMainWindow>

#include <functional>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class RandomSource;

// The main window: character-set choices, the password box and its buttons.
class Tfctrl : public QMainWindow {
    Q_OBJECT

  public:
    // `random` must outlive the window.
    explicit Tfctrl(RandomSource &random, QWidget *parent = nullptr);
    ~Tfctrl() override;

    // Where the notepad and the About window come from; set by the start-up.
    // Each is asked for when its menu item is chosen.
    using WindowSource = std::function<QWidget *()>;
    void SetCompanionWindows(WindowSource notepad, WindowSource about);

    // Asked before the window closes and the program ends; false keeps it open.
    void SetExitCheck(std::function<bool()> check) { exitCheck_ = std::move(check); }

    int PasswordLength() const { return passwordLength_; }
    void SetPasswordLength(int n);

    // The choices as the controls hold them now.
    CharChoices Choices() const;

    void UpdateListControls();
    void EnablePasswordButtons(bool enabled);

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void ShowBtnClick();
    void FillSpecialList();

    // The last password Use moved to the clipboard, for Recall.
    const QString &SavedPassword() const { return savedPassword_; }

    QFrame *Panel1;
    QGroupBox *GroupBox2;
    QCheckBox *uc1, *lc1, *dg1, *spc1, *sp1;
    QRadioButton *any1, *anyex1, *only1;
    QPushButton *ShowBtn;
    QLineEdit *Edit2;
    QPushButton *Button4;
    QLineEdit *Edit1;
    QPushButton *Button1, *Button2, *Button5, *Button3;
    QAction *Exit1, *Notepad1, *About1;

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void BuildCharacterSet();
    void BuildPasswordControls();
    void ConnectSignals();
    void FormCreate();
    void FormShow();
    void sp1Click();
    // Gives the list the focus, in one move.
    void FocusList();
    // Use's caption, "Use" or "Recall", and the hint that goes with it.
    void SetUseCaption(const QString &caption);
    // The password box's hint: "Strength: N.N bits", or nothing.
    void ShowStrength(const QString &strength);
    void any1Click();
    void Notepad1Click();
    void About1Click();

    RandomSource &random_;
    int passwordLength_ = 0;
    QString savedPassword_;
    WindowSource notepad_;
    WindowSource about_;
    std::function<bool()> exitCheck_;
};
