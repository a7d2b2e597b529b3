#pragma once

#include <QImage>

#include <string>

namespace tavrin {

// The overview picture of a page as the Preview tab shows it; a null image
// when the file cannot be read.
QImage LoadPreviewPicture(const std::string& overviewFile);

// 288 x 288, white, "Preview not available" in Arial 20 pt at 20, 124.
QImage PreviewNotAvailablePicture();

}  // namespace tavrin
