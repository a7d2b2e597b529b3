// make-web-proof: a test fixture maker, not the station's tiler. It cuts page
// pictures (PNG, one per page, all of one size) into the five zoom levels of
// 288 x 288 tiles in tile databases, writes the overview pictures and the
// job's pages, laid out as the Web task lays out a job folder, so that the
// viewer can be tested before and apart from the Web task. Plain and slow:
// whole pages in memory, libgd's resampling, every tile encoded.
#include "base/catalogue/OutputLayout.h"
#include "base/platform/LocalClock.h"
#include "base/platform/ProgramPath.h"
#include "engines/imaging/TileDB.h"
#include "engines/web/ProofPages.h"

#include <gd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace tavrin;

constexpr int TileSize = 288;

struct TOptions {
    std::string JobName = "Viewer test job";
    std::string UniqueID = "20240101120000000";
    int Resolution = 0;
    std::vector<std::string> Colors;
    std::string ReplyEmail;
    std::string ReplyEmailName;
    std::string WebRoot;
    std::string Station;
    std::string JobFolder;
    std::vector<std::string> Pages;
};

using TImage = std::unique_ptr<gdImage, decltype(&gdImageDestroy)>;

TImage LoadPng(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw std::runtime_error("Cannot open " + path);
    TImage image(gdImageCreateFromPng(file), gdImageDestroy);
    std::fclose(file);
    if (!image)
        throw std::runtime_error("Not a PNG picture: " + path);
    return image;
}

void SavePng(gdImagePtr image, const std::string& path)
{
    int size = 0;
    void* data = gdImagePngPtr(image, &size);
    std::ofstream(path, std::ios::binary).write(static_cast<const char*>(data), size);
    gdFree(data);
}

// One zoom level of one page, cut as the Web task cuts it: the grid anchored
// at the bottom-left corner, the top row and last column cut short, row 0 of
// the database the bottom row.
void WriteLevel(gdImagePtr page, double factor, const std::string& fileName)
{
    const int width = gdImageSX(page), height = gdImageSY(page);
    const long double inverse = 1.0L / factor;
    const int S = static_cast<int>(std::nearbyint(inverse * TileSize));
    const int DW = static_cast<int>(std::nearbyint(static_cast<long double>(width) * factor));
    const int DH = static_cast<int>(std::nearbyint(static_cast<long double>(height) * factor));
    const int columns = DW / TileSize + ((DW / TileSize) * S < width ? 1 : 0);
    const int rows = DH / TileSize + ((DH / TileSize) * S < height ? 1 : 0);
    const int ODX = columns * TileSize - DW, ODY = rows * TileSize - DH;
    const int OSX = columns * S - width, OSY = rows * S - height;

    TTileDB db(fileName, columns, rows, 64);
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < columns; ++j) {
            TImage tile(gdImageCreateTrueColor(TileSize, TileSize), gdImageDestroy);
            gdImageFilledRectangle(tile.get(), 0, 0, TileSize - 1, TileSize - 1, gdTrueColor(255, 255, 255));
            int srcX = j * S, srcY = i * S - OSY, dstY = 0, dstW = TileSize, dstH = TileSize, srcW = S, srcH = S;
            if (i == 0) {
                srcY = 0;
                dstY = ODY;
                dstH = TileSize - ODY;
                srcH = S - OSY;
            }
            if (j == columns - 1) {
                dstW = TileSize - ODX;
                srcW = S - OSX;
            }
            if (i == rows - 1 && i > 0) {
                dstY = 0;
                dstH = TileSize;
                srcH = S;
            }
            if (dstW > 0 && dstH > 0 && srcW > 0 && srcH > 0)
                gdImageCopyResampled(tile.get(), page, 0, dstY, srcX, srcY, dstW, dstH, srcW, srcH);
            int size = 0;
            void* data = gdImagePngPtr(tile.get(), &size);
            db.AddTile(j, rows - 1 - i, data, static_cast<std::uint32_t>(size));
            gdFree(data);
        }
    }
    db.Close();
}

void WriteOverview(gdImagePtr page, const std::string& fileName)
{
    const int width = gdImageSX(page), height = gdImageSY(page);
    const int w = width >= height ? TileSize : std::max(1, static_cast<int>(std::lround(288.0 * width / height)));
    const int h = height >= width ? TileSize : std::max(1, static_cast<int>(std::lround(288.0 * height / width)));
    TImage overview(gdImageCreateTrueColor(w, h), gdImageDestroy);
    gdImageCopyResampled(overview.get(), page, 0, 0, 0, 0, w, h, width, height);
    SavePng(overview.get(), fileName);
}

TOptions ParseOptions(int argc, char** argv)
{
    TOptions options;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::invalid_argument(word + " needs a value");
            return argv[++i];
        };
        if (word == "--job-name")
            options.JobName = value();
        else if (word == "--unique-id")
            options.UniqueID = value();
        else if (word == "--resolution")
            options.Resolution = std::stoi(value());
        else if (word == "--color")
            options.Colors.push_back(value());
        else if (word == "--reply")
            options.ReplyEmail = value();
        else if (word == "--reply-name")
            options.ReplyEmailName = value();
        else if (word == "--web-root")
            options.WebRoot = value();
        else if (word == "--station")
            options.Station = value();
        else
            rest.push_back(word);
    }
    if (rest.size() < 2 || options.Resolution <= 0 || options.Station.empty())
        throw std::invalid_argument("missing arguments");
    options.JobFolder = WithSingleTrailingBackslash(rest.front());
    options.Pages.assign(rest.begin() + 1, rest.end());
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    TOptions options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "make-web-proof: " << error.what() << "\n"
                  << "Usage: make-web-proof --resolution DPI --station PROGRAM_FOLDER [--job-name NAME]\n"
                  << "       [--unique-id ID] [--color NAME]... [--reply EMAIL] [--reply-name NAME]\n"
                  << "       [--web-root URL] JOB_FOLDER PAGE1.png [PAGE2.png...]\n";
        return 2;
    }
    try {
        // The pages take the viewer script and texts of the given program folder.
        OverrideProgramFilePath(WithSingleTrailingBackslash(options.Station) + "tavrin");
        std::filesystem::create_directories(options.JobFolder);
        THTMLJobRecord record;
        for (std::size_t index = 0; index < options.Pages.size(); ++index) {
            TImage page = LoadPng(options.Pages[index]);
            if (index == 0) {
                record.MaxX = gdImageSX(page.get());
                record.MaxY = gdImageSY(page.get());
                record.Factors = ProofFactors(record.MaxX, record.MaxY, options.Resolution, options.Resolution);
            }
            const std::string number = PageNumberText(static_cast<int>(index + 1));
            for (std::size_t level = 0; level < record.Factors.size(); ++level)
                WriteLevel(page.get(), record.Factors[level],
                           options.JobFolder + "tile" + std::to_string(level) + number + ".tdb");
            WriteOverview(page.get(), options.JobFolder + "overview" + number + ".png");
        }
        record.JobName = options.JobName;
        record.JobID = options.UniqueID;
        record.NumberOfPages = static_cast<std::uint32_t>(options.Pages.size());
        record.XResolution = record.YResolution = static_cast<std::uint32_t>(options.Resolution);
        record.ReplyEmail = options.ReplyEmail;
        record.ReplyEmailName = options.ReplyEmailName;
        record.Colors = options.Colors;
        record.CreationDate = DateTimeFromLocalTime(LocalNow());
        record.ApprovalText = TextFileAsHTML(ProgramFolder() + "approval.txt");
        record.HelpText = TextFileAsHTML(ProgramFolder() + "help.txt");
        WriteProofPages(options.JobFolder + "index.html", "Tavrin Remote Proofing By Dranwick - " + record.JobName,
                        options.WebRoot + "tavrin/", record, "scripts/", "images/", record.JobID + "/");
    } catch (const std::exception& error) {
        std::cerr << "make-web-proof: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
