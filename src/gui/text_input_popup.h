#pragma once
// The dark bubble that shows a text input's error text just above it.

#include <QFrame>

#include <string>

class QLabel;

class text_input_popup : public QFrame {
    Q_OBJECT

public:
    text_input_popup(const std::string& error_text, QWidget* parent);

    QString text() const;

private:
    QLabel* m_text;
};
