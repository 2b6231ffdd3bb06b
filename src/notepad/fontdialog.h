#pragma once

#include "notesettings.h"

#include <QFontDialog>

class QComboBox;

// A font as the settings file keeps it (its size in whole points, no colour
// or character set), and back.
FontSettings SettingsOf(const QFont &f);
QFont FontOf(const FontSettings &s);

// The notepad's font dialog: Qt's own, preset with the memo's font as the
// user sees it (the family a name such as "Arial" resolves to), with a text
// colour offered beside its effects. The sample shows the text as the memo
// will: in the chosen colour on the memo's own background.
class NoteFontDialog : public QFontDialog {
    Q_OBJECT

  public:
    NoteFontDialog(const QFont &font, const QColor &colour, const QColor &background,
                   QWidget *parent = nullptr);

    // Whether the user confirmed the font the dialog opened with.
    bool FontUnchanged() const;
    // The confirmed font; its face keeps the name the memo's font was asked
    // for ("Arial") when it is the face that name resolved to.
    QFont ChosenFont() const;
    QColor SelectedColour() const;

    QComboBox *Colour;

  private:
    void ShowColour();

    QFont asked_;
    QFont shown_;
    QColor background_;
};
