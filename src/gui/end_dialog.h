#pragma once
// The "USB Flashing Successful!" page with the next steps, laid over the form. After a batch of
// sticks it lists every stick in place of the steps, with how its flash ended.

#include <QFrame>
#include <QString>

#include <vector>

class checkbox;

class end_dialog : public QFrame {
    Q_OBJECT

public:
    // One stick of a batch.
    struct stick_row {
        QString name;
        QString size;
        QString worker;
        // "verified", "written", or why it failed.
        QString outcome;
        bool flashed = false;
        // Not flashed through a fault, rather than stopped by the user.
        bool failed = false;
    };

    // After one stick, naming the worker written on it where there is one.
    explicit end_dialog(QWidget* parent, const QString& worker = QString());
    // After a batch of sticks.
    end_dialog(QWidget* parent, const std::vector<stick_row>& batch);

private slots:
    void m_clicked();

private:
    void m_build(const std::vector<stick_row>& batch);
    // The two next steps, after one stick.
    void m_add_steps();
    void m_add_batch(const std::vector<stick_row>& batch);

    checkbox* m_dont_show_again;
};
