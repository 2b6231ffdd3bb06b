#include "boxes.h"

#include "cdatlib.h"
#include "libstate.h"
#include "screenplace.h"
#include "userinput.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

// Sized to its text and placed as it is first shown, before it has a
// window of its own: only then does Qt put the frame's top-left, not the
// client area's, at the point, as pos() reports it when the place is kept.
// The point is where the cursor is as it opens, which may be a while after
// it is made.
class PlacedBox : public QMessageBox {
  public:
    void setVisible(bool visible) override
    {
        if (visible && !placed_) {
            placed_ = true;
            adjustSize();
            PlaceBoxAt(this, BoxOpeningPoint());
        }
        QMessageBox::setVisible(visible);
    }

  private:
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

void MakeInfoBox(PlacedBox &box, const QString &text)
{
    Prepare(box, QMessageBox::Information, text);
    QPushButton *ok = box.addButton("OK", QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

void MakeErrorBox(QMessageBox &box, const QString &text)
{
    box.setIcon(QMessageBox::Critical);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setWindowTitle(ApplicationTitle());
    QPushButton *ok = box.addButton("OK", QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
}

// Each button of a question carries its answer's letter.
const char kAnswer[] = "answer";

void MakeQuestionBox(PlacedBox &box, const QString &text)
{
    Prepare(box, QMessageBox::Question, text);
    // One role for all three: the button row keeps them in the order added,
    // where each desktop's own order (GNOME's is the reverse) would sort
    // them by role. The answer is read from the button clicked.
    QPushButton *yes = box.addButton("&Yes", QMessageBox::ActionRole);
    QPushButton *no = box.addButton("&No", QMessageBox::ActionRole);
    QPushButton *cancel = box.addButton("Cancel", QMessageBox::ActionRole);
    yes->setProperty(kAnswer, QVariant::fromValue('Y'));
    no->setProperty(kAnswer, QVariant::fromValue('N'));
    cancel->setProperty(kAnswer, QVariant::fromValue('C'));
    box.setDefaultButton(yes);
    // Also what the window's close command answers.
    box.setEscapeButton(cancel);
}

char AnswerOf(const QMessageBox &box)
{
    const QAbstractButton *clicked = box.clickedButton();
    return clicked ? clicked->property(kAnswer).value<char>() : ' ';
}

// Shows `box` without waiting: `closed` runs once it is closed, and the box
// goes then.
void ShowModal(QMessageBox *box, bool holdBack, std::function<void()> closed)
{
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    QObject::connect(box, &QDialog::finished, box, [box, closed = std::move(closed)] {
        if (auto *placed = dynamic_cast<PlacedBox *>(box))
            RememberBoxPlace(placed);
        if (closed)
            closed();
    });
    box->show();
    if (holdBack)
        HoldBackInput(box, kHoldBackMs);
}

} // namespace

QString BoxCaption()
{
    const std::string &title = Lib().BoxTitle;
    return title.empty() ? ApplicationTitle() : " " + QString::fromStdString(title);
}

void InfoBox(const QString &text)
{
    PlacedBox box;
    MakeInfoBox(box, text);
    box.exec();
    RememberBoxPlace(&box);
}

void ErrorBox(const QString &text)
{
    QMessageBox box;
    MakeErrorBox(box, text);
    box.exec();
}

char AskYesNoCancel(const QString &text)
{
    PlacedBox box;
    MakeQuestionBox(box, text);
    box.exec();
    RememberBoxPlace(&box);
    return AnswerOf(box);
}

QWidget *ShowInfoBox(const QString &text, bool holdBack, std::function<void()> closed)
{
    auto *box = new PlacedBox;
    MakeInfoBox(*box, text);
    ShowModal(box, holdBack, std::move(closed));
    return box;
}

QWidget *ShowErrorBox(const QString &text, bool holdBack, std::function<void()> closed)
{
    auto *box = new QMessageBox;
    MakeErrorBox(*box, text);
    ShowModal(box, holdBack, std::move(closed));
    return box;
}

QWidget *ShowYesNoCancel(const QString &text, bool holdBack, std::function<void(char)> answered)
{
    auto *box = new PlacedBox;
    MakeQuestionBox(*box, text);
    ShowModal(box, holdBack, [box, answered = std::move(answered)] { answered(AnswerOf(*box)); });
    return box;
}

bool AskYes(const QString &text)
{
    return AskYesNoCancel(text) == 'Y';
}

bool ConfirmOK(const QString &text)
{
    return AskYes(text + " - OK ?");
}
