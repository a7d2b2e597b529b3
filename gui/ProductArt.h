#pragma once

#include <QPixmap>

namespace tavrin {

// The product's mark: four overlapping ink discs, cyan, magenta, yellow and
// black, on a transparent square of the given size.
QPixmap ProductIcon(int size);

// The splash artwork, 640 x 480: the product's name and mark on a panel;
// everything white around it is meant to be see-through.
QPixmap SplashPicture();

}  // namespace tavrin
