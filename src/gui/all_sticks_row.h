#pragma once
// The last row of the unfolded disk list when two or more sticks can be flashed: all of them
// at once, with their count and their total size.

#include <QWidget>

#include <cstdint>

class device_selection;

class all_sticks_row : public QWidget {
    Q_OBJECT

public:
    all_sticks_row(int count, std::uint64_t total_size, device_selection* owner);

    // "All USB sticks (N)", as the row and the header show it.
    static QString title(int count);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    device_selection* m_owner;
};
