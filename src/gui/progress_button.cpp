#include "gui/progress_button.h"

#include "gui/dialog_window.h"
#include "gui/ui_style.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <cstdint>

namespace {

const char* const white = "#ffffff";
const char* const orange = "#fba342";

// The button is 556 pixels wide: 5.56 pixels per percent.
const double pixels_per_percent = 5.56;

// The share of the bar left after the download that writing takes (inflating runs alongside
// it); reading the stick back takes the rest, as it goes about twice as fast as writing.
const double write_share = 2.0 / 3.0;

} // namespace

progress_button::progress_button(QWidget* parent) : QWidget(parent)
{
    setFixedSize(556, 56);
    setStyleSheet(".progress_button {border-radius: 4px;}");
    setCursor(Qt::PointingHandCursor);

    const QRect progress_icon(207, 19, 10, 19);
    const QRect flash_icon(244, 19, 10, 19);

    m_fill = m_face("fill", "border-radius: 4px", ":/button-progress/rectangle.svg",
                    ":/icons/lightning-white.svg", progress_icon);
    m_fill_text = m_face_text(m_fill, QString(), white, ui_style::ubuntu_medium(), QPoint(224, 21));
    m_fill_text->setFixedSize(200, 14);

    m_track = m_face("track", "background: #ffffff; border-radius: 4px;",
                     ":/button-progress/rectangle-empty.svg", ":/icons/lightning-orange.svg",
                     progress_icon);
    m_track_text =
        m_face_text(m_track, QString(), orange, ui_style::ubuntu_medium(), QPoint(224, 21));
    m_track_text->setFixedSize(200, 14);

    m_done = m_face("done", "background: #ffffff; border-radius: 4px;",
                    ":/button-progress/rectangle.svg", ":/icons/done.svg", QRect(197, 20, 17, 17));
    m_face_text(m_done, tr("FLASH ANOTHER?"), white, ui_style::ubuntu_bold(), QPoint(223, 21));

    m_ready = m_face("ready", "background: #ffffff;border: 0px", ":/button-progress/rectangle.svg",
                     ":/icons/lightning-white.svg", flash_icon);
    m_face_text(m_ready, tr("FLASH"), white, ui_style::ubuntu_medium(), QPoint(262, 21));

    m_disabled = m_face("disabled", "background: #ffffff; border-radius: 4px;",
                        ":/button-progress/rectangle-done.svg", ":/icons/lightning-white.svg",
                        flash_icon);
    m_face_text(m_disabled, tr("FLASH"), white, ui_style::ubuntu_medium(), QPoint(262, 21));

    m_click_surface = new QPushButton(this);
    m_click_surface->setFlat(true);
    m_click_surface->setFixedSize(556, 56);
    m_click_surface->setStyleSheet("QPushButton {background: transparent}");
    connect(m_click_surface, SIGNAL(clicked()), this, SLOT(button_clicked()));
    m_click_surface->raise();
}

QFrame* progress_button::m_face(const char* name, const char* style, const char* bar,
                                const char* icon, const QRect& icon_geometry)
{
    auto* face = new QFrame(this);
    face->setObjectName(name);
    // Named, so that the face's background stays off the icons on it.
    face->setStyleSheet(QString("QFrame#%1 {%2}").arg(name, style));
    face->resize(556, 56);
    ui_style::icon_label(bar, QSize(556, 56), face);
    ui_style::icon_label(icon, icon_geometry.size(), face)->move(icon_geometry.topLeft());
    return face;
}

QLabel* progress_button::m_face_text(QFrame* face, const QString& text, const char* colour,
                                     const QFont& font, const QPoint& position)
{
    auto* label = new QLabel(text, face);
    label->setStyleSheet(QString("QLabel {height: 14px;font-size: 14px;font-style: normal;"
                                 "font-weight: bold;line-height: 1;text-align: center;color: %1;"
                                 "background: transparent;}")
                             .arg(colour));
    label->setFont(font);
    label->move(position);
    label->adjustSize();
    return label;
}

void progress_button::m_show_progress(double percent)
{
    m_finished = false;
    // The percentage is shown as a byte-sized whole number.
    int shown = static_cast<std::uint8_t>(static_cast<int>(percent));
    QString text = QString::fromStdString(m_word) + " - " + QString::number(shown) + "%";
    m_fill_text->setText(text);
    m_track_text->setText(text);
    m_fill->resize(static_cast<int>(percent * pixels_per_percent), 56);
}

void progress_button::m_start_run()
{
    m_base_percent = 0;
    m_in_progress = true;
    m_track->raise();
    m_fill->resize(0, 56);
    m_fill->raise();
    m_click_surface->raise();
    m_show_progress(0);
}

void progress_button::button_clicked()
{
    if (!m_in_progress) {
        m_start_run();
        emit clicked();
        return;
    }
    // The button sits in the bottom frame of the form panel of the main window.
    QWidget* main_window = this;
    for (int level = 0; level < 3 && main_window->parentWidget(); ++level)
        main_window = main_window->parentWidget();
    auto* dialog = new dialog_window(
        "Flashing is in progress, are you certain you want to stop flashing? <font "
        "color=\"#3a3939\">Progress will be lost!</font>",
        tr("Stop flashing?").toStdString(), tr("CONTINUE").toStdString(),
        tr("STOP FLASHING").toStdString(), true, main_window);
    dialog->ask_about_run();
    dialog->show();
    connect(dialog, SIGNAL(accepted()), this, SIGNAL(cancel()));
}

void progress_button::report_download_progress(qint64 recieved, qint64 total)
{
    // A total of 0 (nothing to measure) leaves the bar as it is rather than dividing by zero.
    if (total == -1 || total == 0)
        return;
    if (!m_hovered)
        m_word = "DOWNLOADING";
    double percent = static_cast<double>(recieved) / total * 100;
    m_base_percent = percent;
    m_show_progress(percent);
    if (recieved == total) {
        m_disabled->raise();
        m_finished = false;
        setCursor(Qt::ForbiddenCursor);
    }
}

void progress_button::m_show_flash_stage(double stage_start, double stage_share, qint64 done,
                                         qint64 total)
{
    const double rest = 100 - m_base_percent;
    m_show_progress(m_base_percent
                    + rest * (stage_start + stage_share * static_cast<double>(done) / total));
}

void progress_button::report_progress_inflate(qint64 recieved, qint64 total)
{
    if (total == -1 || total == 0)
        return;
    m_word = "FLASHING";
    m_show_flash_stage(0, write_share, recieved, total);
}

void progress_button::report_progress(qint64 recieved, qint64 total)
{
    if (total == -1 || total == 0)
        return;
    if (!m_hovered)
        m_word = "FLASHING";
    if (recieved != total) {
        m_show_flash_stage(0, write_share, recieved, total);
        return;
    }
    m_show_progress(100);
    m_done->raise();
    m_in_progress = false;
    m_finished = true;
    setCursor(Qt::ForbiddenCursor);
    emit done();
}

void progress_button::report_progress_verify(qint64 recieved, qint64 total)
{
    if (total == -1 || total == 0)
        return;
    // Under the pointer the word is "CANCEL", never the word of the write before.
    m_word = m_hovered ? "CANCEL" : "VERIFYING";
    m_show_flash_stage(write_share, 1 - write_share, recieved, total);
}

void progress_button::reset()
{
    setCursor(Qt::PointingHandCursor);
    m_in_progress = false;
    if (!m_finished)
        m_ready->raise();
    m_click_surface->raise();
}

void progress_button::disable()
{
    m_finished = false;
    m_disabled->raise();
    setCursor(Qt::ForbiddenCursor);
}

void progress_button::started_download()
{
    m_start_stage("DOWNLOADING");
}

void progress_button::started_progress()
{
    m_start_stage("FLASHING");
}

void progress_button::m_start_stage(const char* word)
{
    reset();
    // The bar at 0 % names the stage that begins, not the one before it (or "CANCEL" under
    // the pointer).
    m_word = m_hovered ? "CANCEL" : word;
    m_start_run();
    m_word = word;
}

void progress_button::enterEvent(QEvent*)
{
    m_hovered = true;
    m_fill_text->setText("CANCEL");
    m_track_text->setText("CANCEL");
    m_word = "CANCEL";
}

void progress_button::leaveEvent(QEvent*)
{
    m_hovered = false;
}
