#pragma once
// A ticked/unticked box with a caption; the whole area toggles it.

#include <QFrame>

#include <string>

class QLabel;

class checkbox : public QFrame {
    Q_OBJECT

public:
    checkbox(const std::string& text, QWidget* parent);

    bool is_checked() const;

private slots:
    void changed();

private:
    bool m_checked = false;
    QLabel* m_checked_icon;
    QLabel* m_unchecked_icon;
};
