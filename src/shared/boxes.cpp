#include "boxes.h"

#include "cdatlib.h"
#include "libstate.h"
#include "screenplace.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

// Sized to its text and placed as it is first shown, before it has a
// window of its own: only then does Qt put the frame's top-left, not the
// client area's, at the point, as pos() reports it when the place is kept.
class PlacedBox : public QMessageBox {
  public:
    explicit PlacedBox(Point at) : at_(at) {}

    void setVisible(bool visible) override
    {
        if (visible && !placed_) {
            placed_ = true;
            adjustSize();
            PlaceBoxAt(this, at_);
        }
        QMessageBox::setVisible(visible);
    }

  private:
    Point at_;
    bool placed_ = false;
};

void Prepare(QMessageBox &box, QMessageBox::Icon icon, const QString &text)
{
    box.setIcon(icon);
    // Shown character for character: never as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setWindowTitle(BoxCaption());
}

} // namespace

QString BoxCaption()
{
    const std::string &title = Lib().BoxTitle;
    return title.empty() ? ApplicationTitle() : " " + QString::fromStdString(title);
}

void InfoBox(const QString &text)
{
    PlacedBox box(BoxOpeningPoint());
    Prepare(box, QMessageBox::Information, text);
    QPushButton *ok = box.addButton("OK", QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
    RememberBoxPlace(&box);
}

void ErrorBox(const QString &text)
{
    QMessageBox box;
    box.setIcon(QMessageBox::Critical);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setWindowTitle(ApplicationTitle());
    QPushButton *ok = box.addButton("OK", QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

char AskYesNoCancel(const QString &text)
{
    PlacedBox box(BoxOpeningPoint());
    Prepare(box, QMessageBox::Question, text);
    // One role for all three: the button row keeps them in the order added,
    // where each desktop's own order (GNOME's is the reverse) would sort
    // them by role. The answer is read from the button clicked.
    QPushButton *yes = box.addButton("&Yes", QMessageBox::ActionRole);
    QPushButton *no = box.addButton("&No", QMessageBox::ActionRole);
    QPushButton *cancel = box.addButton("Cancel", QMessageBox::ActionRole);
    box.setDefaultButton(yes);
    // Also what the window's close command answers.
    box.setEscapeButton(cancel);
    box.exec();
    RememberBoxPlace(&box);

    const QAbstractButton *clicked = box.clickedButton();
    if (clicked == yes)
        return 'Y';
    if (clicked == no)
        return 'N';
    if (clicked == cancel)
        return 'C';
    return ' ';
}

bool AskYes(const QString &text)
{
    return AskYesNoCancel(text) == 'Y';
}

bool ConfirmOK(const QString &text)
{
    return AskYes(text + " - OK ?");
}
