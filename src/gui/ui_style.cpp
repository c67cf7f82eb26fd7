#include "gui/ui_style.h"

#include <QFontDatabase>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPixmap>

namespace {

QFont bundled_font(const QString& resource, qreal letter_spacing)
{
    int id = QFontDatabase::addApplicationFont(resource);
    QStringList families = QFontDatabase::applicationFontFamilies(id);
    QFont font(families.isEmpty() ? QString() : families.first());
    font.setLetterSpacing(QFont::AbsoluteSpacing, letter_spacing);
    return font;
}

QGraphicsDropShadowEffect* shadow(QObject* parent, const QColor& colour)
{
    auto* effect = new QGraphicsDropShadowEffect(parent);
    effect->setBlurRadius(10);
    effect->setOffset(0, 1);
    effect->setColor(colour);
    return effect;
}

QFrame* line(QWidget* parent, QFrame::Shape shape, const char* style, int width, int height)
{
    auto* frame = new QFrame(parent);
    frame->setFrameShape(shape);
    frame->setFrameShadow(QFrame::Plain);
    frame->setStyleSheet(style);
    frame->setFixedSize(width, height);
    return frame;
}

} // namespace

namespace ui_style {

QFont ubuntu_regular()
{
    return bundled_font(":/fonts/Ubuntu/Ubuntu-Regular.ttf", -0.02);
}

QFont ubuntu_medium()
{
    return bundled_font(":/fonts/Ubuntu/Ubuntu-Medium.ttf", -0.03);
}

QFont ubuntu_bold()
{
    return bundled_font(":/fonts/Ubuntu/Ubuntu-Bold.ttf", 1.0);
}

QFont roboto_regular()
{
    return bundled_font(":/fonts/Roboto/Roboto-Regular.ttf", 2.0);
}

QGraphicsDropShadowEffect* normal_shadow(QObject* parent)
{
    return shadow(parent, QColor(35, 35, 35, 40));
}

QGraphicsDropShadowEffect* window_shadow(QObject* parent)
{
    return shadow(parent, QColor(58, 57, 57, 230));
}

QGraphicsDropShadowEffect* error_shadow(QObject* parent)
{
    return shadow(parent, QColor(233, 36, 36, 40));
}

QFrame* form_separator(QWidget* parent)
{
    return line(parent, QFrame::HLine, "QFrame {color: #eeeeee;}", 552, 1);
}

QFrame* dialog_separator(QWidget* parent)
{
    return line(parent, QFrame::HLine, "QFrame {color: #f5f5f5;}", 400, 1);
}

QFrame* footer_separator(QWidget* parent)
{
    return line(parent, QFrame::VLine, "QFrame {color: #959595;}", 1, 24);
}

QLabel* icon_label(const QString& resource, const QSize& size, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(QPixmap(resource));
    label->setScaledContents(true);
    label->setFixedSize(size);
    return label;
}

} // namespace ui_style
