#pragma once
#include <QFont>
#include <QRect>

// Dialog units as a dialog template uses them: a quarter of the font's
// average character width across, an eighth of its height down. Laying the
// window out in them keeps the template's proportions at any font or scale.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    QRect Rect(int x, int y, int w, int h) const;
    int X(int du) const;
    int Y(int du) const;

private:
    double m_baseX;
    double m_baseY;
};
