#pragma once
// While a batch of sticks is flashed, a row per stick where the locked form was: which stick,
// its size, the worker name it gets, where its flash stands and how far; above them the
// batch's speed and the time left.

#include <QFrame>
#include <QString>

#include <vector>

class QGridLayout;
class QLabel;
class QScrollArea;

class batch_panel : public QFrame {
    Q_OBJECT

public:
    struct stick_row {
        QString name;
        QString size;
        QString worker;
        // "writing", "verified", ...
        QString stage;
        QString percent;
        // Of the stage: green once flashed, red when failed, grey while waiting or stopped.
        const char* stage_colour = nullptr;
    };

    explicit batch_panel(QWidget* parent);

    // The rows are made for the first batch shown, or one of another size; after that only
    // their texts change, so that the rows stand still as the flash goes on.
    void show_rows(const std::vector<stick_row>& rows);
    // Empty while the batch has no speed yet.
    void show_rate(const QString& rate);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* m_rate;
    QScrollArea* m_area;
    QWidget* m_rows;
    QGridLayout* m_grid;
    // The cells, row by row.
    std::vector<std::vector<QLabel*>> m_cells;
};
