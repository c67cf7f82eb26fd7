// Renders the mark of the project's logo as the PNG icons of the desktop's icon theme, at
// build time, so that the icons always follow the artwork.
// Usage: kestrel-render-icon LOGO.svg OUTPUT_FOLDER SIZE...
// The mark is the square at the left of the logo, as high as the logo; each SIZE gives
// OUTPUT_FOLDER/SIZExSIZE.png.

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <iostream>

int main(int argc, char* argv[])
{
    if (argc < 4) {
        std::cerr << "usage: kestrel-render-icon LOGO.svg OUTPUT_FOLDER SIZE..." << std::endl;
        return 2;
    }
    QSvgRenderer logo(QString::fromLocal8Bit(argv[1]));
    if (!logo.isValid()) {
        std::cerr << argv[1] << ": not a readable SVG" << std::endl;
        return 1;
    }
    const QRectF whole = logo.viewBoxF();
    logo.setViewBox(QRectF(whole.topLeft(), QSizeF(whole.height(), whole.height())));
    const QDir output(QString::fromLocal8Bit(argv[2]));
    output.mkpath(".");
    for (int index = 3; index < argc; ++index) {
        const int size = QString(argv[index]).toInt();
        if (size <= 0) {
            std::cerr << "not a size: " << argv[index] << std::endl;
            return 2;
        }
        QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
        icon.fill(Qt::transparent);
        QPainter painter(&icon);
        painter.setRenderHint(QPainter::Antialiasing);
        logo.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString path = output.filePath(QString("%1x%1.png").arg(size));
        if (!icon.save(path)) {
            std::cerr << "cannot write " << path.toStdString() << std::endl;
            return 1;
        }
    }
    return 0;
}
