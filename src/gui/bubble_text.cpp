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
    // A wrapping label prefers a narrow, many-line shape; the bubble wants one line while it
    // fits, so measure the text unwrapped.
    bool wrap = text->wordWrap();
    text->setWordWrap(false);
    QSize size = text->sizeHint();
    text->setWordWrap(wrap);
    if (size.width() > widest_unwrapped) {
        text->setWordWrap(true);
        text->setFixedWidth(wrap_width);
        size = QSize(wrap_width, text->heightForWidth(wrap_width));
    }
    text->resize(size);
    return size;
}
