#pragma once

#include <QDateTime>
#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The About window: the program's name and icon, what it is for, and the
// executable's path and date.
class TFAbout1 : public QDialog {
    Q_OBJECT

  public:
    // The executable's path and date come from the running program unless given.
    explicit TFAbout1(const QString &executablePath = {}, const QDateTime &modified = {},
                      QWidget *parent = nullptr);

    // Fills `memo` with the two identifying lines and widens this window,
    // 10 pixels at a time, until each fits on one line.
    void FillProgramInfo(QPlainTextEdit *memo, const QString &executablePath,
                         const QDateTime &modified);

    // Lines as the memo shows them, word wrap included.
    static int DisplayedLines(const QPlainTextEdit *memo);

    QFrame *Panel1, *Panel2, *Panel3;
    QLabel *Image1, *Label1;
    QPlainTextEdit *Memo1, *Memo2;
    QPushButton *Button1;

  protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void BuildTopPanel();
    void BuildAboutText();
    void FormCreate(const QString &executablePath, const QDateTime &modified);
    void FormShow();
};
