#include "gui/more_settings.h"

#include "gui/ui_style.h"

#include <QLabel>
#include <QPixmap>

namespace {

QString text_style(const char* colour)
{
    return QString("QLabel {height: 20px; font-size: 14px; line-height: 1.43; color: %1;}")
        .arg(colour);
}

} // namespace

more_settings::more_settings(QWidget* parent)
    : QFrame(parent)
{
    m_text = new QLabel(tr("Additional settings (optional)"), this);
    m_text->setStyleSheet(text_style(ui_style::colour::link));
    m_text->setFont(ui_style::ubuntu_regular());
    m_arrow = ui_style::icon_label(":/icons/arrow-down.svg", QSize(8, 5), this);
    m_fit();
}

QString more_settings::text() const
{
    return m_text->text();
}

void more_settings::show_more()
{
    m_show(true, "Additional settings (optional)", ui_style::colour::link, ":/icons/arrow-down.svg");
}

void more_settings::show_less()
{
    m_show(true, "Less settings", ui_style::colour::link, ":/icons/arrow-up.png");
}

void more_settings::disable()
{
    m_show(false, "Additional settings (optional)", ui_style::colour::disabled_link,
           ":/icons/arrow-down-light.svg");
}

void more_settings::mousePressEvent(QMouseEvent* event)
{
    if (m_enabled)
        emit clicked();
    QFrame::mousePressEvent(event);
}

void more_settings::m_show(bool enabled, const char* text, const char* colour, const char* arrow)
{
    m_enabled = enabled;
    setCursor(enabled ? Qt::PointingHandCursor : Qt::ForbiddenCursor);
    m_text->setText(tr(text));
    m_text->setStyleSheet(text_style(colour));
    m_arrow->setPixmap(QPixmap(arrow));
    m_fit();
}

void more_settings::m_fit()
{
    m_text->ensurePolished();
    int text_width = m_text->sizeHint().width();
    m_text->resize(text_width, 20);
    m_arrow->move(text_width + 8, 6);
    resize(text_width + 16, 20);
}
