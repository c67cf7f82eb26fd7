#pragma once
// The "USB Flashing Successful!" page with the next steps, laid over the form.

#include <QFrame>

class checkbox;

class end_dialog : public QFrame {
    Q_OBJECT

public:
    explicit end_dialog(QWidget* parent);

private slots:
    void m_clicked();

private:
    checkbox* m_dont_show_again;
};
