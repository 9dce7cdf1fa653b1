#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

namespace cantorel {

// The program's own pictures, drawn in code at the sizes the window uses.
class Glyphs {
public:
    static QIcon programIcon();              // 32x32 and 16x16
    static QPixmap programPicture(int size); // the program's icon, size x size
    static QPixmap play();                   // 16x16
    static QPixmap pause();                  // 16x16
    static QPixmap previous();               // 20x16
    static QPixmap next();                   // 20x16
    static QPixmap composeEnabled();         // 16x16
    static QPixmap composeDisabled();        // 16x16
    // The tree's state images, index 0 to 5 (0 is never shown and repeats 1).
    static QList<QPixmap> stateImages();
};

} // namespace cantorel
