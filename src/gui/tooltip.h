#pragma once
// The information icon beside a field label; hovering it shows the field's help text.

#include <QLabel>

#include <string>

class tooltip_pop_up;

class tooltip : public QLabel {
    Q_OBJECT

public:
    // Shows the icon at (x, y) of `parent` and prepares its bubble above that row.
    tooltip(const std::string& help_text, int x, int y, QWidget* parent);

    tooltip_pop_up* pop_up() const;

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    tooltip_pop_up* m_pop_up;
};
