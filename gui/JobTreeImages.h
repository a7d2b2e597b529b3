#pragma once

#include <QIcon>
#include <QList>

namespace tavrin {

struct TJobTree;

// The image list of the job tree: the seven fixed images (job closed and
// open, the cyan, magenta, yellow and black plates, any other plate), then
// one image per swatch of the tree, in the tree's image index order.
QList<QIcon> JobTreeImages(const TJobTree& tree);

}  // namespace tavrin
