#pragma once
// The program's only window: the form, the device list and the whole flashing run.

#include "config/inputs.h"
#include "device/device.h"
#include "gui/run_stage.h"
#include "run/job_stage.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QFrame;
class QLabel;
class QScrollArea;
class batch_panel;
class device_manager;
class device_selection;
class end_dialog;
class flash_job;
class market_selection;
class more_settings;
class progress_button;
class text_input;
class titlebar;

class main_window : public QWidget {
    Q_OBJECT

public:
    main_window(const std::string& application_name, const std::string& data_folder,
                const std::string& version, QWidget* parent = nullptr);
    ~main_window() override;

    // A download or a flash is under way; the title bar asks before closing then.
    bool is_busy() const;

signals:
    void error(QString error_msg, bool is_err);

public slots:
    void on_button_click();
    void check_size();
    void download_finished(std::string file_name);
    void set_error_msg_text(QString error_msg, bool is_err);
    void start_burning();
    void burning_finished();
    void hide_window();
    void os_configuration();
    void update_window();
    void cancel();
    void disconect_cancel();
    void start_burning_animation();
    void input_fields_changed();
    void dialog_window_open();
    void dialog_window_closed();
    void image_not_downloaded(uint64_t size, std::string name);
    void started_download();
    void dont_show_again();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void m_job_message(QString error_msg, bool is_err);
    void m_offer_declined();
    void m_clear_message();

private:
    void m_build_form();
    void m_build_footer(const std::string& version);
    void m_connect_widgets();
    void m_fill_form();
    // The settings with what the form shows now.
    inputs m_form_values() const;
    void m_layout_blocks();
    // As tall as the form, folded or unfolded, and the message under it need.
    int m_window_height() const;
    void m_animate_window_height(int height, int duration_ms);

    void m_set_stage(run_stage stage);
    bool m_form_locked() const;
    void m_apply_form_lock();
    // A card or a question lies over the form: nothing of the form takes input meanwhile.
    bool m_card_shown() const;
    void m_cover_form(bool covered);
    void m_connect_job();
    void m_job_stage_changed(job_stage stage);
    void m_disk_progress(int index, disk_progress_kind kind, qint64 done, qint64 total);
    void m_note_gone_disks(const std::vector<std::shared_ptr<device>>& attached);
    void m_show_slowest();
    // A batch of sticks: a row for each where the form was, with the batch's speed.
    void m_show_batch();
    void m_show_batch_end();
    void m_show_end_page(end_dialog* page);
    void m_run_finished(run_outcome outcome);
    void m_end_run(const QString& error_msg);
    void m_return_to_form();

    run_stage m_stage = run_stage::idle;
    device_manager* m_device_manager = nullptr;
    // The disks of the current run, taken when the run looks at the selection (one, or every
    // stick at once); empty outside a run.
    std::vector<std::shared_ptr<device>> m_run_disks;
    // Where each disk of the run has got to: the button shows the slowest.
    struct disk_progress {
        disk_progress_kind kind = disk_progress_kind::writing;
        qint64 done = 0;
        qint64 total = 0;
        // No longer attached.
        bool gone = false;
    };
    std::vector<disk_progress> m_progress;
    // Since the batch's writers started: its speed.
    QElapsedTimer m_write_clock;
    // The settings as the file held them when this window last read or wrote them: a field
    // whose text differs was changed by the user here.
    std::unique_ptr<inputs> m_settings;
    // The run below the window, from the start-up check on.
    std::unique_ptr<flash_job> m_job;
    bool m_unfolded = false;
    bool m_covered = false;
    bool m_message_shown = false;
    const std::string m_data_folder;

    progress_button* m_progress_button = nullptr;
    titlebar* m_titlebar = nullptr;
    QLabel* m_message = nullptr;
    QLabel* m_warning = nullptr;
    text_input* m_worker = nullptr;
    text_input* m_group = nullptr;
    text_input* m_wireless_key = nullptr;
    text_input* m_wireless_ssid = nullptr;
    text_input* m_ssh_key = nullptr;
    text_input* m_btc = nullptr;
    device_selection* m_device_list = nullptr;
    market_selection* m_market = nullptr;
    more_settings* m_more_settings = nullptr;

    QFrame* m_body = nullptr;
    QScrollArea* m_form_area = nullptr;
    QFrame* m_form = nullptr;
    batch_panel* m_batch_panel = nullptr;
    QFrame* m_optional_fields = nullptr;
    QFrame* m_bottom = nullptr;
    QFrame* m_footer = nullptr;
    // The optional rows that lie in the form itself rather than in the folding panel.
    QList<QWidget*> m_folded_rows;
};
