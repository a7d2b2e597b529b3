#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// What each node of the job tree carries.
struct JobTreeNodeData {
    enum TKind : int { Job = 0, Plate = 2 };

    TKind Kind = Job;
    std::int32_t Reference = 0;   // the job's JobListReference
    std::string Name;             // job node: the job name; plate node: the colorant name (at most 255 characters)
    std::int32_t JobID = 0;       // job node: JobListID
    std::int32_t PageCount = 1;   // job node: the highest page number seen
    std::int32_t PageNumber = 0;  // plate node
};

// Indexes of the fixed images of the tree's image list; swatches follow them.
enum TJobTreeImage : int {
    JobCollapsedImage = 0,
    JobExpandedImage = 1,
    CyanPlateImage = 2,
    MagentaPlateImage = 3,
    YellowPlateImage = 4,
    BlackPlateImage = 5,
    OtherPlateImage = 6,
    FixedImageCount = 7,
};

// A 16 x 16 picture of 24-bit colour, rows top to bottom, R, G, B per pixel.
struct TSwatchImage {
    static constexpr int Size = 16;
    std::array<std::uint8_t, Size * Size * 3> Pixels{};

    void SetPixel(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b);
    std::array<std::uint8_t, 3> Pixel(int x, int y) const;
};

struct TJobTreeNode {
    std::string Text;
    int ImageIndex = 0;
    int SelectedIndex = 0;
    JobTreeNodeData Data;
    std::vector<TJobTreeNode> Children;
};

// The job tree without any widget: top-level job nodes with their plate
// nodes, and the swatch images that image indexes from FixedImageCount on
// refer to.
struct TJobTree {
    std::vector<TJobTreeNode> Jobs;
    std::vector<TSwatchImage> Swatches;

    // Appends a swatch and returns its image index.
    int AddSwatch(const TSwatchImage& swatch);
};

// "CYAN" 1, "MAGENTA" 2, "YELLOW" 3, "BLACK" 4, anything else 5; case is ignored.
int ColorRank(const std::string& colorName);

// Sort orders of the tree: negative, 0 or positive like strcmp.
int CompareJobNodes(const TJobTreeNode& left, const TJobTreeNode& right);
int ComparePlateNodes(const TJobTreeNode& left, const TJobTreeNode& right);

// The plate image for a colorant name, case ignored; OtherPlateImage for spots.
int PlateImageIndex(const std::string& colorName);

// The swatch of a spot colour: a grey frame, light on the left and top, mid
// grey on the right and bottom, filled with the colour, on white.
TSwatchImage DrawSwatch(std::uint8_t r, std::uint8_t g, std::uint8_t b);

}  // namespace tavrin
