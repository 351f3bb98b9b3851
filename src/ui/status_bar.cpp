#include "status_bar.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <qdrawutil.h>

#include <algorithm>

namespace vantrel {

StatusPanels::StatusPanels(QWidget* parent) : QWidget(parent) {}

int StatusPanels::ruleWidth(const QString& text) const {
    return QFontMetrics(font()).horizontalAdvance(text + QLatin1Char('a'));
}

void StatusPanels::setPanelText(int panel, const QString& text) {
    int p = panel == 0 ? 0 : 1;
    m_text[p] = text;
    m_width[p] = ruleWidth(text);
    update();
}

int StatusPanels::panelWidth(int panel) const {
    if (panel == 0) return m_width[0];
    // The last panel stretches to the right edge, whatever width it was given.
    return std::max(0, width() - m_width[0]);
}

void StatusPanels::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    painter.fillRect(rect(), pal.window());
    QRect panels[2] = {QRect(0, 2, m_width[0] - 2, height() - 2),
                       QRect(m_width[0], 2, std::max(0, width() - m_width[0]), height() - 2)};
    for (int p = 0; p < 2; ++p) {
        const QRect& r = panels[p];
        if (r.width() <= 0) continue;
        qDrawShadePanel(&painter, r, pal, true, 1);
        painter.setPen(pal.color(QPalette::WindowText));
        QRect textRect = r.adjusted(2, 1, -2, -1);
        painter.setClipRect(textRect);
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_text[p]);
        painter.setClipping(false);
    }
}

} // namespace vantrel
