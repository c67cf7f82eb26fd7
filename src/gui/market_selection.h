#pragma once
// The "Mining location" drop-down: shows the chosen region and yields its configuration code.

#include <QFrame>

#include <map>
#include <string>

class QLabel;
class QListWidget;

class market_selection : public QFrame {
    Q_OBJECT

public:
    explicit market_selection(QWidget* parent);

    // Makes current the region stored under `code`; an unknown code changes nothing.
    void set_code(const std::string& code);
    std::string code() const;
    // Folds the list, as a click elsewhere in the window does.
    void collapse();

signals:
    void item_selected();

public slots:
    void select_value(const std::string& name);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void m_show_current();
    void m_rebuild_list();

    std::string m_current = "Europe";
    std::map<std::string, std::string> m_regions;
    QWidget* m_owner;
    QLabel* m_name;
    QListWidget* m_list;
};
