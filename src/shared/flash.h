#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include "solewindow.h"

class QFrame;
class QLabel;
class QTimer;

// The notice's module-wide state.
struct FlashState {
    QString FlashText;
    int FlashBaseMs = 1500;
    QColor FlashColour{0, 255, 255};
    bool FlashActive = false;
};
FlashState &Flash();

// How long a notice of `length` characters stays: the base time up to 20
// characters, a twentieth of it per character beyond.
int FlashDisplayMs(qsizetype length, int baseMs = 1500);

// Borderless stay-on-top notice next to the mouse cursor; closes by itself.
class TFFlash : public QWidget, public SoleWindow<TFFlash> {
    Q_OBJECT

  public:
    explicit TFFlash(QWidget *parent = nullptr);

    // `spoken`, when given, is what a screen reader says of it.
    void Notice(const QString &text, const QString &spoken = {});
    void CloseFlash();

    QFrame *Panel1;
    QLabel *Label1;
    QTimer *Timer1;

  protected:
    void resizeEvent(QResizeEvent *event) override;

  private:
    void Timer1Timer();
    void ShowFlashText(const QString &text);

    QString spoken_; // what a screen reader says of the notices on screen
};

// Shows a notice, or adds it on a new line below one still on screen; the
// empty text closes any notice at once. Returns once the notice is painted.
// A screen reader says `spoken` of it, when given, else its text.
void FlashNotice(const QString &text, const QString &spoken = {});
