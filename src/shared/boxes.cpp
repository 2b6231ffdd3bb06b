#include "boxes.h"

#include "cdatlib.h"
#include "libstate.h"
#include "screenplace.h"

#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

namespace {

// Placed when first shown, once the toolkit has sized it to its text.
class PlacedBox : public QMessageBox {
  public:
    explicit PlacedBox(Point at) : at_(at) {}

  protected:
    void showEvent(QShowEvent *e) override
    {
        QMessageBox::showEvent(e);
        if (!placed_) {
            placed_ = true;
            PlaceBoxAt(this, at_);
        }
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
    QPushButton *yes = box.addButton("&Yes", QMessageBox::YesRole);
    QPushButton *no = box.addButton("&No", QMessageBox::NoRole);
    QPushButton *cancel = box.addButton("Cancel", QMessageBox::RejectRole);
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
