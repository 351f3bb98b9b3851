// The window's status bar: two panels side by side, panel 0 as wide as its
// text plus one "a" in the bar's font, panel 1 filling the rest of the bar.
#pragma once

#include <QString>
#include <QWidget>

namespace vantrel {

class StatusPanels : public QWidget {
    Q_OBJECT
public:
    explicit StatusPanels(QWidget* parent = nullptr);

    // Sets the panel's text as given (the caller adds the leading blank) and,
    // for panel 0, its width by the width rule.
    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const { return m_text[panel == 0 ? 0 : 1]; }
    int panelWidth(int panel) const;
    // The width the rule gives a panel text: text + "a" in the bar's font.
    int ruleWidth(const QString& text) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text[2];
    int m_width[2] = {40, 50};
};

} // namespace vantrel
