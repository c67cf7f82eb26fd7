#pragma once
// The dark bubble with a field's help text, shown above the field while its tooltip is hovered.

#include <QFrame>

#include <string>

class QLabel;

class tooltip_pop_up : public QFrame {
    Q_OBJECT

public:
    // `arrow_x` places the bubble's arrow under the tooltip icon.
    tooltip_pop_up(const std::string& text, int arrow_x, QWidget* parent);

    QString text() const;

private:
    QLabel* m_text;
};
