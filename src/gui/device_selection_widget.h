#pragma once
// One disk row of the unfolded disk list.

#include "device/device.h"

#include <QWidget>

#include <memory>

class device_selection;

class device_selection_widget : public QWidget {
    Q_OBJECT

public:
    // `name` tells the disk apart from the others listed.
    device_selection_widget(std::shared_ptr<device> device, const QString& name, device_selection* owner);

signals:
    void clicked(std::shared_ptr<device> device);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::shared_ptr<device> m_device;
    device_selection* m_owner;
};
