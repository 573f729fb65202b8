#include "frontends/qt/dialog_units.h"

#include <QFontMetricsF>
#include <cmath>

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetricsF fm(font);
    m_baseX = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    m_baseY = fm.height();
}

int DialogUnits::X(int du) const
{
    return static_cast<int>(std::lround(du * m_baseX / 4.0));
}

int DialogUnits::Y(int du) const
{
    return static_cast<int>(std::lround(du * m_baseY / 8.0));
}

QRect DialogUnits::Rect(int x, int y, int w, int h) const
{
    return QRect(X(x), Y(y), X(x + w) - X(x), Y(y + h) - Y(y));
}
