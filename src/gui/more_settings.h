#pragma once
// The link that folds the optional settings of the form in and out.

#include <QFrame>

class QLabel;

class more_settings : public QFrame {
    Q_OBJECT

public:
    explicit more_settings(QWidget* parent);

    QString text() const;

signals:
    void clicked();

public slots:
    // Folded: offers to show the optional fields.
    void show_more();
    // Unfolded: offers to hide them again.
    void show_less();
    // While a download or flash runs: ignores clicks.
    void disable();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void m_show(bool enabled, const char* text, const char* colour, const char* arrow);
    void m_fit();

    QLabel* m_text;
    QLabel* m_arrow;
    bool m_enabled = true;
};
