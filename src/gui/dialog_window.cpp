#include "gui/dialog_window.h"

#include "gui/dialog_card.h"
#include "gui/ui_style.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel* face_text(const std::string& text, const char* style, const QPoint& position, QWidget* face)
{
    auto* label = new QLabel(QString::fromStdString(text), face);
    label->setStyleSheet(style);
    label->setFont(ui_style::ubuntu_bold());
    label->move(position);
    label->adjustSize();
    return label;
}

} // namespace

dialog_window::dialog_window(const std::string& body, const std::string& title,
                             const std::string& right_text, const std::string& left_text,
                             bool long_left_text, QWidget* parent)
    : QFrame(parent)
{
    QPushButton* close = dialog_card::build(this, QString::fromStdString(title), tr(body.c_str()));

    auto* left_face = new QFrame(this);
    left_face->setGeometry(29, 158, 168, 40);
    left_face->setStyleSheet(".QFrame{border-radius:4px;background: #e92424;}");
    face_text(left_text,
              "QLabel {background:transparent; color: #ffffff;font-size: 14px;border: none;}",
              long_left_text ? QPoint(30, 13) : QPoint(55, 13), left_face);

    auto* right_face = new QFrame(this);
    right_face->setObjectName("acpt");
    right_face->setGeometry(213, 158, 167, 40);
    right_face->setStyleSheet("QFrame#acpt{border-radius:4px;background: #ffffff;}");
    right_face->setGraphicsEffect(ui_style::normal_shadow(right_face));
    face_text(right_text,
              "QLabel {background:transparent; color: #3a3939;font-size: 14px;border: none;}",
              QPoint(50, 13), right_face);

    QPushButton* left = dialog_card::click_surface(this, left_face->geometry());
    QPushButton* right = dialog_card::click_surface(this, right_face->geometry());

    connect(left, SIGNAL(clicked()), this, SIGNAL(accepted()));
    connect(right, SIGNAL(clicked()), this, SIGNAL(declined()));
    connect(close, SIGNAL(clicked()), this, SIGNAL(closed()));
    connect(left, SIGNAL(clicked()), this, SLOT(m_clicked()));
    connect(right, SIGNAL(clicked()), this, SLOT(m_clicked()));
    connect(close, SIGNAL(clicked()), this, SLOT(m_clicked()));

    dialog_card::notify_parent(this, "dialog_window_open");
}

void dialog_window::dismiss()
{
    m_clicked();
}

void dialog_window::ask_about_run()
{
    m_about_run = true;
}

bool dialog_window::asks_about_run() const
{
    return m_about_run;
}

void dialog_window::m_clicked()
{
    dialog_card::close(this);
}
