#pragma once
// One region offered in the unfolded mining-location list.

#include <QWidget>

#include <string>

class market_selection;

class market_selection_element : public QWidget {
    Q_OBJECT

public:
    market_selection_element(const std::string& value, market_selection* owner);

signals:
    void clicked(const std::string& value);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::string m_value;
    market_selection* m_owner;
};
