#include "programicon.h"

QIcon ProgramIcon()
{
    // Drawn at build time; each size is read when it is first asked for.
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 32, 48, 64, 128, 256})
            i.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
        return i;
    }();
    return icon;
}
