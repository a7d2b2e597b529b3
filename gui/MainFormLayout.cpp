#include "gui/MainFormLayout.h"

#include <algorithm>

namespace tavrin::MainFormLayout {

TPageControlColumns PageControlColumns(int outerWidth, int mainMinimumWidth)
{
    const int inputsWidth = std::min(outerWidth / 2 - Gutter, outerWidth - Gutter - mainMinimumWidth);
    return {inputsWidth, inputsWidth, outerWidth - inputsWidth - Gutter};
}

QSize PageControlAreaMinimum(QSize inputsMinimum, QSize mainMinimum)
{
    return {inputsMinimum.width() + mainMinimum.width() + Gutter,
            std::max({PageControlHeight, inputsMinimum.height(), mainMinimum.height()})};
}

int OpeningWidth(int mainPreferredWidth)
{
    return std::max(DesignWidth, 2 * (mainPreferredWidth + Gutter));
}

}  // namespace tavrin::MainFormLayout
