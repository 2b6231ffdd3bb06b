#include "fonts.h"

#include <QFontDatabase>

namespace {

QFont Sized(QFont f, int pixelSize, bool bold)
{
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

} // namespace

QFont SansFont(int pixelSize, bool bold)
{
    return Sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), pixelSize, bold);
}

QFont MonoFont(int pixelSize, bool bold)
{
    return Sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), pixelSize, bold);
}
