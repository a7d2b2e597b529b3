#include "engines/imaging/ProofImage.h"

#include "base/catalogue/OutputLayout.h"
#include "engines/imaging/MasterCheck.h"
#include "engines/imaging/MasterStripWriter.h"
#include "engines/imaging/OverviewPass.h"
#include "engines/imaging/PlateRowDigest.h"
#include "engines/imaging/SpotColor.h"
#include "engines/imaging/StripReader.h"
#include "engines/imaging/TiffErrorHandler.h"
#include "engines/imaging/TileCutter.h"

#include <tiffio.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace tavrin {

namespace {

// The preview's strips decoded ahead of its pass, on two threads of their own.
constexpr unsigned PreviewReadAheadStrips = 3;
constexpr unsigned PreviewDecoders = 2;

}  // namespace

std::unique_ptr<TProofImage> TProofImage::CreateForWrite(const std::string& fileName, std::uint32_t width,
                                                         std::uint32_t height, std::uint32_t dataWidth,
                                                         std::uint32_t xResolution, std::uint32_t yResolution,
                                                         bool mirror, bool negate, const std::string& sourceProfile,
                                                         const std::string& destinationProfile)
{
    std::unique_ptr<TProofImage> image(new TProofImage);
    image->Path = fileName;
    image->ImageWidth = width;
    image->ImageHeight = height;
    image->PlateDataWidth = dataWidth;
    // Lines are read up to Width even if the header claims less data.
    image->LineWords = static_cast<std::uint32_t>((std::max<std::uint64_t>(dataWidth, width) + 31) / 32);
    image->XDotsPerInch = xResolution;
    image->YDotsPerInch = yResolution;
    image->MirrorLines = mirror;
    image->NegateBits = negate;
    image->TableGenerator = std::make_unique<TColorTableGenerator>(sourceProfile, destinationProfile);
    image->FileToCreate = true;
    image->ExceptionsAtCreation = std::uncaught_exceptions();
    return image;
}

std::unique_ptr<TProofImage> TProofImage::CreateForRead(const std::string& fileName)
{
    std::unique_ptr<TProofImage> image(new TProofImage);
    image->Path = fileName;
    // Not mapped into memory: a pass over a large master then holds no more
    // of it than the strips being read.
    ClearLastTiffError();
    image->Handle = TIFFOpen(fileName.c_str(), "rm");
    if (!image->Handle)
        throw std::runtime_error("Error opening " + fileName + ": " + LastTiffFailure());
    CheckMasterTags(image->Handle, fileName);
    TIFFGetField(image->Handle, TIFFTAG_IMAGEWIDTH, &image->ImageWidth);
    TIFFGetField(image->Handle, TIFFTAG_IMAGELENGTH, &image->ImageHeight);
    return image;
}

TProofImage::~TProofImage()
{
    // A page cut short by an error must not pass for a master.
    if (Broken || std::uncaught_exceptions() > ExceptionsAtCreation)
        Abandon();
    else
        Complete();  // a failure leaves no file; whoever wants the reason calls Close
}

void TProofImage::Abandon()
{
    Strips.reset();
    if (Handle)
        TIFFClose(Handle);
    Handle = nullptr;
    std::error_code ignored;
    if (!PartPath.empty())
        std::filesystem::remove(PartPath, ignored);
    PartPath.clear();
}

bool TProofImage::AddSpotColor(const std::string& name, std::uint16_t c, std::uint16_t m, std::uint16_t y,
                               std::uint16_t k)
{
    if (!TableGenerator)
        return false;
    return TableGenerator->AddSpotColor(
        {name, ColorValueToByte(c), ColorValueToByte(m), ColorValueToByte(y), ColorValueToByte(k)});
}

std::uint32_t TProofImage::StripRows(std::uint32_t height)
{
    // The master's own layout, not the tile side: strips of at least this
    // many rows, and no more than this many strips (so a strip holds at least
    // the rows of one output row of the 288-pixel overview), keep the rows
    // that one output row of a reduction covers within the two strips the
    // resampler's window holds.
    constexpr std::uint64_t RowStep = 288;
    constexpr std::uint64_t MaxStrips = 288;
    std::uint64_t rows = RowStep;
    while ((height + rows - 1) / rows > MaxStrips)
        rows += RowStep;
    return static_cast<std::uint32_t>(rows);
}

// Creates the file under a passing name, sets the tags in their order and
// the colour map, and gets the strip writer ready.
void TProofImage::OpenWriter()
{
    FileToCreate = false;
    if (ImageWidth == 0 || ImageHeight == 0) {
        Failure = "Cannot write " + Path + ": a page of " + std::to_string(ImageWidth) + " x " +
                  std::to_string(ImageHeight) + " pixels";
        return;
    }
    // A master of an earlier run no longer stands for this page.
    std::error_code ignored;
    std::filesystem::remove(Path, ignored);
    PartPath = UnfinishedName(Path);
    ClearLastTiffError();
    Handle = TIFFOpen(PartPath.c_str(), "w");
    if (!Handle) {
        Failure = "Cannot create " + PartPath + ": " + LastTiffFailure();
        return;
    }
    TIFFSetField(Handle, TIFFTAG_IMAGEWIDTH, ImageWidth);
    TIFFSetField(Handle, TIFFTAG_IMAGELENGTH, ImageHeight);
    TIFFSetField(Handle, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(Handle, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(Handle, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(Handle, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(Handle, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
    TIFFSetField(Handle, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(Handle, TIFFTAG_XRESOLUTION, static_cast<double>(XDotsPerInch));
    TIFFSetField(Handle, TIFFTAG_YRESOLUTION, static_cast<double>(YDotsPerInch));
    TIFFSetField(Handle, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    const std::uint32_t rowsPerStrip = TIFFDefaultStripSize(Handle, StripRows(ImageHeight));
    TIFFSetField(Handle, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    SetColorMap();
    Strips = std::make_unique<TMasterStripWriter>(Handle, ImageWidth, ImageHeight, rowsPerStrip);
    LineBuffer.reset(new std::uint8_t[std::size_t(LineWords) * 32]);
    Digests = std::make_unique<TPlateRowDigests>(ImageWidth, ImageHeight, MirrorLines, NegateBits, DigestedBits);
}

// The colour table's bytes as they are, widened to 16 bits without scaling.
// A profile that cannot be used (one spoilt since the configuration check
// accepted it) leaves the unfilled, all-black table: the proof itself shows
// that its colours are wrong, and the next configuration check names the
// profile.
void TProofImage::SetColorMap()
{
    try {
        TableGenerator->BuildTable();
    } catch (const EColorProfileError&) {
        // Kept black on purpose, see above.
    }
    const TColorTable& table = TableGenerator->ColorTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        RedMap[i] = table[i].R;
        GreenMap[i] = table[i].G;
        BlueMap[i] = table[i].B;
    }
    TIFFSetField(Handle, TIFFTAG_COLORMAP, RedMap.data(), GreenMap.data(), BlueMap.data());
}

void TProofImage::WriteBand(std::uint32_t firstLine, std::uint32_t lineCount, const TPlatePlanes& planes)
{
    if (FileToCreate)
        OpenWriter();
    if (!Handle && !Failure.empty())
        throw std::runtime_error(Failure);
    if (!Strips || firstLine >= ImageHeight)
        return;
    lineCount = std::min(lineCount, ImageHeight - firstLine);
    if (firstLine != Strips->LinesCommitted()) {
        Broken = true;
        Failure = "Master lines must be written in order without gaps: line " + std::to_string(firstLine) +
                  " follows line " + std::to_string(Strips->LinesCommitted());
        throw std::invalid_argument(Failure);
    }
    const std::size_t lineBytes = std::size_t(LineWords) * 4;
    const std::uint8_t flip = NegateBits ? 0xFF : 0x00;
    for (std::uint32_t j = 0; j < lineCount; ++j) {
        TPlatePlanes lines;
        for (std::size_t plane = 0; plane < lines.size(); ++plane)
            lines[plane] = planes[plane] + j * lineBytes;
        ComposeIndexLine(lines, ImageWidth, flip, MirrorLines, LineBuffer.get(), Strips->NextLine(), SetPlateBits);
        Strips->CommitLine();
        ++ComposedLines;
    }
    Digests->AddLines(planes, lineCount, lineBytes);
}

std::array<std::uint64_t, 8> TProofImage::InkedPixels() const
{
    // An index bit is the plate bit XOR the flip, so a plate is inked where its own bit is this.
    const unsigned inkedPlateBit = InkedIndexBit ^ (NegateBits ? 1u : 0u);
    const std::uint64_t composed = std::uint64_t(ComposedLines) * ImageWidth;
    // Lines no band reached hold the index of plates whose bits are all clear.
    const std::uint64_t absent = std::uint64_t(AbsentLines) * ImageWidth;
    std::array<std::uint64_t, 8> inked{};
    for (std::size_t plane = 0; plane < SetPlateBits.size(); ++plane) {
        const std::uint64_t set = SetPlateBits[plane];
        inked[static_cast<std::size_t>(PlaneIndexBit[plane])] = inkedPlateBit == 1 ? set : composed - set + absent;
    }
    return inked;
}

void TProofImage::Close()
{
    if (!Complete())
        throw std::runtime_error(Failure);
}

bool TProofImage::Complete()
{
    if (Completed)
        return true;
    Completed = true;
    if (Broken)
        Abandon();
    if (!Handle) {
        if (FileToCreate)
            Failure = "No band was written to " + Path;
        FileToCreate = false;
        return false;
    }
    bool complete = true;
    if (Strips) {
        // Lines no band reached read as a page without plates.
        const std::uint8_t absent = NegateBits ? 0xFF : 0x00;
        const std::uint32_t absentBefore = AbsentLines;
        while (Strips->LinesCommitted() < ImageHeight) {
            std::memset(Strips->NextLine(), absent, ImageWidth);
            Strips->CommitLine();
            ++AbsentLines;
        }
        Digests->AddAbsentLines(AbsentLines - absentBefore);
        complete = Strips->Finish();
        if (!complete)
            Failure = "Cannot write " + PartPath + ": " + Strips->Error();
        Strips.reset();
        ClearLastTiffError();
        if (complete && TIFFFlush(Handle) != 1) {
            complete = false;
            Failure = "Cannot write " + PartPath + ": " + LastTiffFailure();
        }
    }
    TIFFClose(Handle);
    Handle = nullptr;
    if (PartPath.empty())
        return true;
    std::error_code error;
    if (complete) {
        std::filesystem::rename(PartPath, Path, error);
        if (error)
            Failure = "Cannot rename " + PartPath + " to " + Path + ": " + error.message();
    }
    const bool named = complete && !error;
    if (named && Digests)
        RowDigests = Digests->Finish();
    if (!named)
        std::filesystem::remove(PartPath, error);
    PartPath.clear();
    return named;
}

void TProofImage::MakeTiles(const std::string& fileName, std::uint32_t tileSize, double factor)
{
    if (!Handle || TableGenerator)
        return;
    CutTiles(Handle, fileName, tileSize, factor, OnProgress, DefaultTileWorkers());
}

void TProofImage::MakePreview(const std::string& fileName, double factor)
{
    if (!Handle || TableGenerator)
        return;
    // The same pass that draws the overview beside the tile levels, here fed
    // by a decode of its own that runs ahead on other threads.
    const TMasterLayout layout = TMasterLayout::Read(Handle);
    TOverviewPass overview(layout, ImageWidth, ImageHeight, fileName, factor);
    layout.CheckCopyCanStart();
    {
        TStripReader reader(Handle, layout, 0, layout.StripCount - 1, PreviewReadAheadStrips, PreviewDecoders);
        overview.Draw(reader);
    }
    if (OnProgress)
        OnProgress(50);
    overview.Write();
    if (OnProgress)
        OnProgress(100);
}

}  // namespace tavrin
