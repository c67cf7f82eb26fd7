#include "gui/text_input.h"

#include "config/field_validation.h"
#include "gui/bubble_place.h"
#include "gui/text_input_popup.h"
#include "gui/ui_style.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGraphicsDropShadowEffect>
#include <QMenu>
#include <QMimeData>

namespace {

const char* const valid_style =
    "QLineEdit {border-radius: 4px;background-color: #ffffff;height: 20px;font-size: 14px;"
    "font-weight: normal;padding-left: 16px;border: none;color: #3a3939;}";
const char* const invalid_style =
    "QLineEdit {border-radius: 4px;background-color: #ffffff;height: 20px;font-size: 14px;"
    "font-weight: normal;padding-left: 16px;border: 1px solid #e92424;color: #e92424;}";
const char* const menu_style =
    "QMenu {border: 1px solid #f5f5f5;background-color: #ffffff; border-radius: 4px;} "
    "QMenu:item {padding-left: 20px; padding-right: 20px; border-radius:4px; height: 20px;"
    "font-size: 14px;} QMenu:item:selected {background: #fafafa;}";

} // namespace

text_input::text_input(const std::string& placeholder, const std::string& pattern,
                       const std::string& error_text, QWidget* parent)
    : QLineEdit(parent)
    , m_pattern(pattern, std::regex::ECMAScript)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setFixedSize(552, 40);
    move(24, 8);
    setPlaceholderText(tr(placeholder.c_str()));
    setStyleSheet(valid_style);
    setGraphicsEffect(ui_style::normal_shadow(parentWidget()));
    setFont(ui_style::ubuntu_regular());

    QPalette colours = palette();
    colours.setColor(QPalette::All, QPalette::Mid, QColor(206, 205, 205));
    setPalette(colours);

    connect(this, SIGNAL(textChanged(const QString&)), this, SLOT(validate_text()));

    m_popup = new text_input_popup(error_text, parent);
    m_popup->hide();
    setFrame(false);
}

bool text_input::is_valid() const
{
    return m_valid;
}

text_input_popup* text_input::popup() const
{
    return m_popup;
}

void text_input::validate_text()
{
    m_valid = field_validation::is_acceptable(text().toStdString(), m_pattern);
    if (m_valid) {
        setStyleSheet(valid_style);
        setGraphicsEffect(ui_style::normal_shadow(parentWidget()));
        m_popup->hide();
    } else {
        setStyleSheet(invalid_style);
        setGraphicsEffect(ui_style::error_shadow(parentWidget()));
    }
}

void text_input::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (event->reason() == Qt::MouseFocusReason)
        emit pressed();
}

void text_input::enterEvent(QEvent* event)
{
    if (!m_valid)
        show_bubble_above(m_popup, this, x());
    QLineEdit::enterEvent(event);
}

void text_input::leaveEvent(QEvent* event)
{
    m_popup->hide();
    QLineEdit::leaveEvent(event);
}

void text_input::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu();
    menu->clear();
    menu->setStyleSheet(menu_style);
    menu->setFont(ui_style::ubuntu_regular());

    if (!text().isEmpty()) {
        menu->addAction(tr("Copy"), this, SLOT(m_copy()), QKeySequence());
        menu->addAction(tr("Cut"), this, SLOT(m_cut()), QKeySequence());
    }
    const QMimeData* clipboard = QApplication::clipboard()->mimeData();
    if (clipboard && clipboard->hasText())
        menu->addAction(tr("Paste"), this, SLOT(paste()), QKeySequence());
    menu->addAction(tr("Undo"), this, SLOT(undo()), QKeySequence());

    menu->exec(event->globalPos());
    delete menu;
}

void text_input::m_copy()
{
    if (!hasSelectedText())
        selectAll();
    copy();
}

void text_input::m_cut()
{
    if (!hasSelectedText())
        selectAll();
    cut();
}
