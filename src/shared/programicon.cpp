#include "programicon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

QIcon ProgramIcon()
{
    // Drawn here rather than by Qt's SVG icon plug-in, so nothing is missing
    // at run time that the link did not bring.
    static const QIcon icon = [] {
        QIcon i;
        QSvgRenderer svg(QStringLiteral(":/icons/quorvin.svg"));
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            QPixmap pm(size, size);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            svg.render(&p);
            p.end();
            i.addPixmap(pm);
        }
        return i;
    }();
    return icon;
}
