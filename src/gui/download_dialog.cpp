#include "gui/download_dialog.h"

#include "gui/dialog_card.h"
#include "gui/ui_style.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {

void face_text(const char* text, const char* style, QWidget* face)
{
    auto* label = new QLabel(text, face);
    label->setStyleSheet(style);
    label->setFont(ui_style::ubuntu_bold());
    label->move(59, 13);
    label->adjustSize();
}

} // namespace

download_dialog::download_dialog(std::uint64_t size_mib, const std::string& release,
                                 QWidget* parent)
    : QFrame(parent)
{
    QString body = "Update Kestrel to latest version <font color=\"#3a3939\">" +
                   QString::fromStdString(release) + "</font> (" + QString::number(size_mib) +
                   "MB)?";
    QPushButton* close = dialog_card::build(this, "Update Kestrel", body);

    auto* update_face = new QLabel(this);
    update_face->setObjectName("acpt");
    update_face->setPixmap(QPixmap(":/button-progress/rectangle.svg"));
    update_face->setScaledContents(true);
    update_face->setGeometry(213, 158, 168, 40);
    update_face->setStyleSheet("QFrame#acpt{border-radius:4px;background: #ffffff;}");
    update_face->setGraphicsEffect(ui_style::normal_shadow(update_face));
    face_text("UPDATE",
              "QLabel {background:transparent; color: #ffffff;font-weight: bold;font-size: 12px;"
              "border: none;}",
              update_face);

    auto* cancel_face = new QFrame(this);
    cancel_face->setGeometry(29, 158, 167, 40);
    cancel_face->setStyleSheet(".QFrame{border-radius:4px;background: #ffffff;}");
    cancel_face->setGraphicsEffect(ui_style::normal_shadow(cancel_face));
    face_text("CANCEL",
              "QLabel {background:transparent; color: #3a3939;font-size: 12px;font-weight: bold;"
              "border: none;}",
              cancel_face);

    QPushButton* update = dialog_card::click_surface(this, update_face->geometry());
    QPushButton* cancel = dialog_card::click_surface(this, cancel_face->geometry());

    connect(update, SIGNAL(clicked()), this, SIGNAL(accepted()));
    connect(cancel, SIGNAL(clicked()), this, SIGNAL(declined()));
    connect(close, SIGNAL(clicked()), this, SIGNAL(closed()));
    connect(update, SIGNAL(clicked()), this, SLOT(m_clicked()));
    connect(cancel, SIGNAL(clicked()), this, SLOT(m_clicked()));
    connect(close, SIGNAL(clicked()), this, SLOT(m_clicked()));

    dialog_card::notify_parent(this, "dialog_window_open");
}

void download_dialog::m_clicked()
{
    dialog_card::close(this);
}
