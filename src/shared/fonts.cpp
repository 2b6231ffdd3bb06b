#include "fonts.h"

#include <QFontDatabase>

namespace {

QFont Sized(QFont f, int pixelSize, bool bold)
{
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QFont Named(const char *family, QFont::StyleHint hint, int pixelSize, bool bold)
{
    QFont f(family);
    f.setStyleHint(hint); // what stands in should the family be missing
    return Sized(f, pixelSize, bold);
}

} // namespace

QFont SansFont(int pixelSize, bool bold)
{
    return Sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), pixelSize, bold);
}

QFont ArialFont(int pixelSize, bool bold)
{
    return Named("Arial", QFont::SansSerif, pixelSize, bold);
}

QFont CourierNewFont(int pixelSize, bool bold)
{
    return Named("Courier New", QFont::TypeWriter, pixelSize, bold);
}
