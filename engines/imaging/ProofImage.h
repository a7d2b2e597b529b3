#pragma once

#include "engines/imaging/ColorTableGenerator.h"
#include "engines/imaging/PlateCombination.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct tiff;

namespace tavrin {

class TMasterStripWriter;
class TPlateRowDigests;

// One page of a job in colour: the master image, an 8-bit palette TIFF whose
// pixels are plate combination indexes and whose colour map is the colour
// table. The writer composes it band by band from the page's 1-bit plates;
// the reader opens an existing master for the tiling and preview tasks. One
// thread uses an object at a time.
class TProofImage {
public:
    using TColorMap = std::array<std::uint16_t, 256>;

    // The writer. Stores the values, computes WordsPerLine and makes the
    // colour table generator (source profile first); no file is touched
    // before the first WriteBand. The caller owns the result.
    static std::unique_ptr<TProofImage> CreateForWrite(const std::string& fileName, std::uint32_t width,
                                                       std::uint32_t height, std::uint32_t dataWidth,
                                                       std::uint32_t xResolution, std::uint32_t yResolution,
                                                       bool mirror, bool negate, const std::string& sourceProfile,
                                                       const std::string& destinationProfile);

    // The reader: opens an existing master, checks its tags (CheckMasterTags)
    // and reads its size. Raises std::runtime_error "Error opening FILE:
    // reason" when it cannot be opened, or the check's error. The caller owns
    // the result.
    static std::unique_ptr<TProofImage> CreateForRead(const std::string& fileName);

    // Completes a writer's master (see Close), or closes the reader. A writer
    // destroyed while an exception unwinds, or after a band out of order, is
    // abandoned instead: no file is left.
    ~TProofImage();
    TProofImage(const TProofImage&) = delete;
    TProofImage& operator=(const TProofImage&) = delete;

    // Adds a spot colour from the page buffer's 16-bit colour values; false
    // when four are held already or this is a reader. Call before the first
    // WriteBand: the colour map is made when the file is created.
    bool AddSpotColor(const std::string& name, std::uint16_t c, std::uint16_t m, std::uint16_t y, std::uint16_t k);

    // Appends lineCount lines from image line firstLine on; planes are eight
    // plate bands (cyan, magenta, yellow, black, spot 0..3) of lineCount lines
    // of WordsPerLine words each. The first call creates the file. Lines at or
    // past Height are dropped. Raises std::runtime_error "Cannot create PATH:
    // reason" (or "Cannot write" for a page without pixels) when the file
    // cannot be made, on this and every later call; std::invalid_argument when
    // the band does not start at the next line to write: LZW lines only append.
    void WriteBand(std::uint32_t firstLine, std::uint32_t lineCount, const TPlatePlanes& planes);

    // Completes the writer: lines no band reached are written as if every
    // plate were absent, the file is closed and only then takes the name
    // FileName, so a master under that name is always whole. Raises
    // std::runtime_error naming the file and the system's or libtiff's reason
    // when no band was written or the file failed; then no file is left.
    // Closes a reader. Later calls do nothing.
    void Close();

    const std::string& FileName() const { return Path; }
    std::uint32_t Width() const { return ImageWidth; }
    std::uint32_t Height() const { return ImageHeight; }
    std::uint32_t DataWidth() const { return PlateDataWidth; }
    std::uint32_t WordsPerLine() const { return LineWords; }
    std::uint32_t XResolution() const { return XDotsPerInch; }
    std::uint32_t YResolution() const { return YDotsPerInch; }
    bool Mirror() const { return MirrorLines; }
    bool Negate() const { return NegateBits; }
    bool NeedsOpen() const { return FileToCreate; }
    // The open libtiff handle, or null.
    tiff* Tiff() const { return Handle; }
    const TColorMap& Red() const { return RedMap; }
    const TColorMap& Green() const { return GreenMap; }
    const TColorMap& Blue() const { return BlueMap; }
    // The writer's colour table generator; null for a reader.
    TColorTableGenerator* Generator() const { return TableGenerator.get(); }

    // Writer: the pixels of the lines written so far on which each plate is
    // inked (its index bit is InkedIndexBit), by index bit, counted while the
    // lines are composed; after Close they cover the whole page.
    std::array<std::uint64_t, 8> InkedPixels() const;
    // Writer: the pixels of the lines written so far (lines × Width).
    std::uint64_t PixelsWritten() const { return std::uint64_t(ComposedLines + AbsentLines) * ImageWidth; }

    // Writer: the plates whose row digests are taken, one bit per index bit
    // (all eight unless told); call before the first WriteBand.
    void DigestPlates(std::uint8_t indexBits) { DigestedBits = indexBits; }
    // Writer, once Close has completed the master: the digest of each
    // plate's rows in it by index bit (see TPlateRowDigests); empty texts
    // before.
    const std::array<std::string, 8>& PlateRowDigests() const { return RowDigests; }

    // Reader only: told the percentage done by the picture operations.
    std::function<void(int percentage)> OnProgress;

    // Writes one zoom level of the tile pyramid into a new tile database
    // fileName: tiles of tileSize pixels at scale factor (see CutTiles),
    // reporting 0 and then each grid row's share through OnProgress. The file
    // takes its name only when complete. Raises std::runtime_error when the
    // master cannot be read or the tile database cannot be created, written
    // or named (see CutTiles). Does nothing on a writer.
    void MakeTiles(const std::string& fileName, std::uint32_t tileSize, double factor);

    // Writes the overview fileName: a true-colour PNG of Width x factor by
    // Height x factor pixels (rounded to nearest, ties to even, at least 1)
    // reduced from the whole master by area averaging; reports 50 through
    // OnProgress once it is drawn and 100 once it is written. The file is
    // written under its unfinished name and named when whole. Raises
    // std::runtime_error when the master cannot be read, the picture cannot
    // be made or the file cannot be written or named; nothing of this call is
    // left on disk then. Does nothing on a writer.
    void MakePreview(const std::string& fileName, double factor);

    // Rows per strip for an image height: the smallest multiple of 288 that
    // gives at most 288 strips.
    static std::uint32_t StripRows(std::uint32_t height);

private:
    TProofImage() = default;

    void OpenWriter();
    void SetColorMap();
    void Abandon();
    // The writer's work as Close describes it; false and Failure set when it fails.
    bool Complete();

    std::string Path;
    std::uint32_t ImageWidth = 0;
    std::uint32_t ImageHeight = 0;
    std::uint32_t PlateDataWidth = 0;
    std::uint32_t LineWords = 0;
    std::uint32_t XDotsPerInch = 0;
    std::uint32_t YDotsPerInch = 0;
    bool MirrorLines = false;
    bool NegateBits = false;
    tiff* Handle = nullptr;
    bool FileToCreate = false;
    TColorMap RedMap{};
    TColorMap GreenMap{};
    TColorMap BlueMap{};
    std::unique_ptr<TColorTableGenerator> TableGenerator;

    // Writer state once the file exists.
    std::string PartPath;
    std::unique_ptr<TMasterStripWriter> Strips;
    std::unique_ptr<std::uint8_t[]> LineBuffer;
    TPlaneBitCounts SetPlateBits{};  // of the composed lines
    std::unique_ptr<TPlateRowDigests> Digests;
    std::array<std::string, 8> RowDigests;
    std::uint8_t DigestedBits = 0xFF;
    std::uint32_t ComposedLines = 0;
    std::uint32_t AbsentLines = 0;  // written by Close as a page without plates
    bool Broken = false;
    bool Completed = false;
    int ExceptionsAtCreation = 0;
    std::string Failure;
};

}  // namespace tavrin
