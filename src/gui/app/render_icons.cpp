// Writes the program's icon as PNG files at the sizes the desktop's icon theme asks for:
//   render_icons OUTDIR SIZE...   (OUTDIR/SIZE.png)

#include "gui/common/Glyphs.h"

#include <QGuiApplication>
#include <QPixmap>

#include <cstdlib>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3)
        return 2;
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (!cantorel::Glyphs::programPicture(size).save(QString("%1/%2.png").arg(argv[1]).arg(size), "PNG"))
            return 1;
    }
    return 0;
}
