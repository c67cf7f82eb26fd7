#include "gui/dialog_card.h"

#include "gui/ui_style.h"
#include "gui/window_body.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPushButton>

namespace dialog_card {

QPushButton* build(QFrame* dialog, const QString& title, const QString& body)
{
    dialog->setFixedSize(410, 227);
    dialog->move(95, 174);
    window_body::take_in(dialog);
    dialog->setAttribute(Qt::WA_TranslucentBackground);

    auto* card = new QFrame(dialog);
    card->setGeometry(5, 5, 400, 217);
    card->setStyleSheet("QFrame{border-radius: 4px;border: none;background-color: #ffffff;}");
    card->setGraphicsEffect(ui_style::normal_shadow(card));

    ui_style::icon_label(":/icons/close.svg", QSize(14, 14), dialog)->move(375, 30);
    QPushButton* close = click_surface(dialog, QRect(375, 30, 14, 14));
    // An icon has no text to be found by.
    close->setObjectName("close");

    ui_style::dialog_separator(dialog)->move(5, 69);

    auto* title_label = new QLabel(title, dialog);
    title_label->move(29, 21);
    title_label->setStyleSheet("QLabel {height: 32px;font-size: 20px;font-weight: bold;"
                               "font-style: normal;line-height: 1.6;color: #3a3939;}");
    title_label->setFont(ui_style::ubuntu_bold());
    title_label->adjustSize();

    auto* body_label = new QLabel(body, dialog);
    body_label->move(29, 86);
    body_label->setFixedSize(352, 70);
    body_label->setWordWrap(true);
    body_label->setAlignment(Qt::AlignTop | Qt::AlignVCenter);
    body_label->setTextFormat(Qt::RichText);
    body_label->setStyleSheet("QLabel {font-size: 14px; line-height: 1.43; color: #959595;}");
    body_label->setFont(ui_style::ubuntu_bold());

    return close;
}

QPushButton* click_surface(QWidget* parent, const QRect& geometry)
{
    auto* button = new QPushButton(parent);
    button->setFlat(true);
    button->setGeometry(geometry);
    button->setStyleSheet("QPushButton:pressed{border: none}");
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void notify_parent(QWidget* dialog, const char* hook)
{
    if (dialog->parentWidget())
        QMetaObject::invokeMethod(dialog->window(), hook);
}

void close(QWidget* dialog)
{
    dialog->hide();
    notify_parent(dialog, "dialog_window_closed");
    dialog->deleteLater();
}

} // namespace dialog_card
