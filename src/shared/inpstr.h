#pragma once

#include <QDialog>

#include "solewindow.h"

#include <cstdint>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// The program's one input dialog: frameless, silver, dragged by its panel.
class TFinpstr : public QDialog, public SoleWindow<TFinpstr> {
    Q_OBJECT

  public:
    explicit TFinpstr(QWidget *parent = nullptr);
    ~TFinpstr() override;

    // Shows the prompts and `text`; true on OK, with `text` set to the entry.
    bool RunInputDialog(const QString &first, const QString &second, QString &text);

    QFrame *Panel1;
    QFrame *InnerBevel;
    QLabel *Label1, *Label2;
    QLineEdit *Edit1;
    QPushButton *Button1, *Button2;
    QToolButton *CalBtn;

  protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

  private:
    void BuildPanel();
    void FitDialogToLabel(const QLabel *label);
    void Panel1MouseDown();
    void RestoreCursor();

    bool dragCursor_ = false;
};

bool InputText(const QString &first, const QString &second, QString &text);
bool InputInteger(const QString &first, const QString &second, std::int32_t &value);
bool InputNumber(const QString &prompt, std::int32_t &value);
