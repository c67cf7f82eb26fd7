#pragma once
// The FLASH button: start control, progress bar of the download and the flashing, cancel control
// during a run and "FLASH ANOTHER?" afterwards. Its looks are stacked faces; the one raised shows.

#include <QWidget>

#include <string>

class QFrame;
class QLabel;
class QPushButton;

class progress_button : public QWidget {
    Q_OBJECT

public:
    explicit progress_button(QWidget* parent);

signals:
    void clicked();
    void cancel();
    void done();

public slots:
    void report_progress(qint64 recieved, qint64 total);
    void report_download_progress(qint64 recieved, qint64 total);
    void report_progress_inflate(qint64 recieved, qint64 total);
    void report_progress_verify(qint64 recieved, qint64 total);
    void button_clicked();
    void reset();
    void disable();
    void started_download();
    void started_progress();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QFrame* m_face(const char* name, const char* style, const char* bar, const char* icon,
                   const QRect& icon_geometry);
    QLabel* m_face_text(QFrame* face, const QString& text, const char* colour, const QFont& font,
                        const QPoint& position);
    void m_start_run();
    // What started_download() and started_progress() share: a run begins with `word`.
    void m_start_stage(const char* word);
    void m_show_progress(double percent);
    // The bar after the download: writing (with inflating, on a first flash), then verifying.
    void m_show_flash_stage(double stage_start, double stage_share, qint64 done, qint64 total);

    std::string m_word = "FLASH";
    bool m_in_progress = false;
    bool m_hovered = false;
    bool m_finished = false;
    double m_base_percent = 0;

    QFrame* m_fill;
    QFrame* m_track;
    QFrame* m_done;
    QFrame* m_ready;
    QFrame* m_disabled;
    QLabel* m_fill_text;
    QLabel* m_track_text;
    QPushButton* m_click_surface;
};
