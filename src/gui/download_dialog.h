#pragma once
// The card offering the download of a newer image, with its size.

#include <QFrame>

#include <cstdint>
#include <string>

class download_dialog : public QFrame {
    Q_OBJECT

public:
    download_dialog(std::uint64_t size_mib, const std::string& release, QWidget* parent);

signals:
    void accepted();
    // "CANCEL": the download is not wanted now.
    void declined();
    void closed();

private slots:
    void m_clicked();
};
