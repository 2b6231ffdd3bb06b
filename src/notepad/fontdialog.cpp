#include "fontdialog.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

namespace {

// The sixteen colours a font dialog's colour list offers.
constexpr struct {
    const char *name;
    QRgb rgb;
} kColours[] = {
    {"Black", 0x000000},  {"Maroon", 0x800000},  {"Green", 0x008000}, {"Olive", 0x808000},
    {"Navy", 0x000080},   {"Purple", 0x800080},  {"Teal", 0x008080},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0xFF0000},     {"Lime", 0x00FF00},  {"Yellow", 0xFFFF00},
    {"Blue", 0x0000FF},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0x00FFFF},  {"White", 0xFFFFFF},
};

QIcon Swatch(const QColor &c)
{
    QPixmap pm(16, 12);
    pm.fill(c);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    return QIcon(pm);
}

// The face a font resolves to, with that face's own name for its style
// ("Book", "Oblique"): the dialog finds only styles it can name, and
// otherwise picks the first of the face's, which may be another's slant.
QFont AsSeen(QFont font)
{
    const QFontInfo seen(font);
    font.setFamily(seen.family());
    if (QFontDatabase::styles(seen.family()).contains(seen.styleName()))
        font.setStyleName(seen.styleName());
    return font;
}

} // namespace

NoteFontDialog::NoteFontDialog(const QFont &font, const QColor &colour, const QColor &background,
                               QWidget *parent)
    : QFontDialog(parent), asked_(font), shown_(AsSeen(font)), background_(background)
{
    // Qt's own dialog, so that the colour can go beside its effects.
    setOption(QFontDialog::DontUseNativeDialog);
    setCurrentFont(shown_);

    Colour = new QComboBox;
    for (const auto &c : kColours)
        Colour->addItem(Swatch(QColor(c.rgb)), c.name, QColor(c.rgb));
    int current = Colour->findData(colour);
    if (current < 0) {
        Colour->addItem(Swatch(colour), "Custom", colour);
        current = Colour->count() - 1;
    }
    Colour->setCurrentIndex(current);
    auto *label = new QLabel("&Color:");
    label->setBuddy(Colour);

    QGroupBox *effects = nullptr;
    for (QGroupBox *g : findChildren<QGroupBox *>())
        if (g->title().remove('&') == "Effects")
            effects = g;
    auto *box = effects ? qobject_cast<QBoxLayout *>(effects->layout()) : nullptr;
    if (box) {
        // Below the check boxes, above a stretch that may end the box.
        const bool stretch = box->count() > 0 && box->itemAt(box->count() - 1)->spacerItem();
        const int at = stretch ? box->count() - 1 : box->count();
        box->insertWidget(at, Colour);
        box->insertWidget(at, label);
    } else if (auto *whole = qobject_cast<QBoxLayout *>(layout())) {
        whole->addWidget(label);
        whole->addWidget(Colour);
    }
    connect(Colour, &QComboBox::currentIndexChanged, this, &NoteFontDialog::ShowColour);
    ShowColour();
}

void NoteFontDialog::ShowColour()
{
    for (QGroupBox *g : findChildren<QGroupBox *>()) {
        if (g->title().remove('&') != "Sample")
            continue;
        // A fixed background, so the chosen colour is what the sample shows,
        // on a dark desktop too.
        for (QLineEdit *sample : g->findChildren<QLineEdit *>()) {
            QPalette pal = sample->palette();
            pal.setColor(QPalette::Base, background_);
            pal.setColor(QPalette::Text, SelectedColour());
            sample->setPalette(pal);
        }
    }
}

bool NoteFontDialog::FontUnchanged() const
{
    const QFont f = selectedFont();
    return f.family() == shown_.family() && f.pointSizeF() == shown_.pointSizeF()
           && f.weight() == shown_.weight() && f.italic() == shown_.italic()
           && f.underline() == shown_.underline() && f.strikeOut() == shown_.strikeOut();
}

QFont NoteFontDialog::ChosenFont() const
{
    QFont f = selectedFont();
    if (f.family() == shown_.family())
        f.setFamily(asked_.family());
    return f;
}

QColor NoteFontDialog::SelectedColour() const
{
    return Colour->currentData().value<QColor>();
}

FontSettings SettingsOf(const QFont &f)
{
    FontSettings s;
    s.name = f.family().toStdString();
    s.size = f.pointSize() > 0 ? f.pointSize() : qRound(f.pointSizeF());
    s.bold = f.bold();
    s.italic = f.italic();
    s.underline = f.underline();
    s.strikeout = f.strikeOut();
    return s;
}

QFont FontOf(const FontSettings &s)
{
    QFont f;
    f.setFamily(QString::fromStdString(s.name));
    f.setPointSize(s.size > 0 ? s.size : FontSettings{}.size);
    f.setBold(s.bold);
    f.setItalic(s.italic);
    f.setUnderline(s.underline);
    f.setStrikeOut(s.strikeout);
    return f;
}
