#pragma once
// The disk picker of the main window: a header showing the chosen USB disk (or a prompt) that
// unfolds into a list of the attached disks when there is a choice to make.

#include "device/device.h"

#include <QFrame>

#include <memory>
#include <vector>

class QLabel;
class QListWidget;

class device_selection : public QFrame {
    Q_OBJECT

public:
    explicit device_selection(QWidget* parent);

    void update_devices_list(std::vector<std::shared_ptr<device>> devices);
    // The disk chosen; null when none is, or when every stick is.
    std::shared_ptr<device> selected_device() const;
    // What FLASH flashes: the disk chosen, or every stick that can be flashed when "All USB
    // sticks" is chosen; empty when nothing is.
    std::vector<std::shared_ptr<device>> selected_devices() const;
    // "All USB sticks" is chosen.
    bool all_selected() const;
    // While a batch runs the header counts its sticks, not those attached now, and keeps them
    // chosen whatever comes or goes; empty when no batch runs.
    void hold_batch(std::vector<std::shared_ptr<device>> batch);
    // Whether the shown disk is large enough to flash.
    bool is_device_ok() const;
    void collapse();

signals:
    void item_selected();

public slots:
    // The user's pick. From then on a disk is selected only by the user: when the picked disk
    // goes, the selection stays empty until the user picks again.
    void select_device(std::shared_ptr<device> device);
    // The user's pick of every stick at once.
    void select_all();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void m_device_selected();
    void m_show_no_device();
    void m_show_prompt();
    void m_fit_labels();
    void m_resize_unfolded();
    void m_deselect();
    // The sticks large enough to flash.
    std::vector<std::shared_ptr<device>> m_usable() const;

    QWidget* m_parent;
    std::vector<std::shared_ptr<device>> m_devices;
    std::shared_ptr<device> m_selected;
    std::vector<std::shared_ptr<device>> m_batch;
    QListWidget* m_list;
    bool m_clickable = false;
    bool m_user_picked = false;
    bool m_all_selected = false;
    bool m_device_ok = false;
    QLabel* m_title;
    QLabel* m_info;
    QLabel* m_arrow;
};
