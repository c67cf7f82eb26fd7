#include "gui/bubble_text.h"

#include <QLabel>

namespace {

const int widest_unwrapped = 416;
const int wrap_width = 417;

} // namespace

QSize fit_bubble_text(QLabel* text)
{
    // The font size comes from the style sheet, which applies only once polished.
    text->ensurePolished();
    QSize size = text->sizeHint();
    if (size.width() > widest_unwrapped) {
        text->setWordWrap(true);
        text->setFixedWidth(wrap_width);
        size = QSize(wrap_width, text->heightForWidth(wrap_width));
    }
    text->resize(size);
    return size;
}
