#include "base/catalogue/JobTree.h"

#include "base/text/TextRules.h"

namespace tavrin {

namespace {

template <typename T>
int Compare(const T& left, const T& right)
{
    return left < right ? -1 : (right < left ? 1 : 0);
}

// Draws like a pen moved with LineTo: every point of the segment but its end.
void DrawLine(TSwatchImage& image, int fromX, int fromY, int toX, int toY, std::uint8_t grey)
{
    const int stepX = Compare(toX, fromX);
    const int stepY = Compare(toY, fromY);
    for (int x = fromX, y = fromY; x != toX || y != toY; x += stepX, y += stepY)
        image.SetPixel(x, y, grey, grey, grey);
}

}  // namespace

void TSwatchImage::SetPixel(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    if (x < 0 || y < 0 || x >= Size || y >= Size)
        return;
    const std::size_t at = (static_cast<std::size_t>(y) * Size + static_cast<std::size_t>(x)) * 3;
    Pixels[at] = r;
    Pixels[at + 1] = g;
    Pixels[at + 2] = b;
}

std::array<std::uint8_t, 3> TSwatchImage::Pixel(int x, int y) const
{
    const std::size_t at = (static_cast<std::size_t>(y) * Size + static_cast<std::size_t>(x)) * 3;
    return {Pixels[at], Pixels[at + 1], Pixels[at + 2]};
}

int TJobTree::AddSwatch(const TSwatchImage& swatch)
{
    Swatches.push_back(swatch);
    return FixedImageCount + static_cast<int>(Swatches.size()) - 1;
}

int ColorRank(const std::string& colorName)
{
    const std::string name = UpperCase(colorName);
    if (name == "CYAN")
        return 1;
    if (name == "MAGENTA")
        return 2;
    if (name == "YELLOW")
        return 3;
    if (name == "BLACK")
        return 4;
    return 5;
}

int PlateImageIndex(const std::string& colorName)
{
    // The process ranks 1 to 4 map onto the images 2 to 5.
    const int rank = ColorRank(colorName);
    return rank <= 4 ? CyanPlateImage + rank - 1 : OtherPlateImage;
}

int CompareJobNodes(const TJobTreeNode& left, const TJobTreeNode& right)
{
    return Compare(left.Data.Reference, right.Data.Reference);
}

int ComparePlateNodes(const TJobTreeNode& left, const TJobTreeNode& right)
{
    if (const int byPage = Compare(left.Data.PageNumber, right.Data.PageNumber))
        return byPage;
    const int leftRank = ColorRank(left.Data.Name);
    const int rightRank = ColorRank(right.Data.Name);
    if (leftRank != 5 || rightRank != 5)
        return Compare(leftRank, rightRank);
    // Spot colours in plain byte order.
    return Compare(left.Data.Name, right.Data.Name);
}

TSwatchImage DrawSwatch(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    TSwatchImage image;
    image.Pixels.fill(255);
    DrawLine(image, 2, 15, 2, 0, 192);
    DrawLine(image, 2, 0, 12, 0, 192);
    DrawLine(image, 12, 0, 12, 15, 128);
    DrawLine(image, 12, 15, 2, 15, 128);
    for (int y = 1; y < 15; ++y)
        for (int x = 3; x < 12; ++x)
            image.SetPixel(x, y, r, g, b);
    return image;
}

}  // namespace tavrin
