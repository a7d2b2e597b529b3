#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tavrin {

class TStringStream;

// A band as ReadBand hands it over: the caller owns it.
using TBandBlock = std::unique_ptr<std::uint8_t[]>;

// The reader of one page buffer file of the RIP (*.pgb): the text header,
// the band tables and the bands, raw or in compression 7. One thread at a
// time; the file is open only inside the constructor and ReadBand.
class TPGBObject {
public:
    // Parses the header and reads the band tables. Raises std::runtime_error
    // when the file cannot be opened, a boolean or real value is malformed,
    // the file ends before the line "pgbimage" or inside a bracketed list,
    // a text value "(..." of a recognised key is not closed on its line,
    // the geometry is impossible (see CheckGeometry), or the band tables do
    // not fit in the file. A MaxBand of 0 or less yields an object without
    // bands.
    explicit TPGBObject(const std::string& path);
    // The same for a page buffer held in memory, named name in messages; the
    // bytes must outlive the object.
    TPGBObject(const std::string& name, std::span<const std::uint8_t> bytes);

    // The job title derived from JobName: "123.Brochure.ps" gives
    // "Brochure.ps", "7.Cover (2)" gives "Cover"; empty for an all-digit name.
    std::string GetJobTitle() const;

    // Band index (0 to MaxBand - 1) as a new block whose first BytesInBand
    // bytes are the band, or null when it cannot be delivered; then
    // ReadBandError() says why. A compressed band is delivered only right
    // after the band before it. Raises when the file cannot be opened.
    TBandBlock ReadBand(int index);

    // Why the last ReadBand returned null; empty after a delivered band.
    const std::string& ReadBandError() const { return LastReadError; }

    // Every recognised header field in header-key order as (key without "/",
    // value as text): lists comma-separated, texts unescaped, booleans
    // "True"/"False".
    std::vector<std::pair<std::string, std::string>> HeaderFieldTexts() const;

    const std::string& FilePath() const { return Path; }
    int LastBandRead() const { return LastBand; }

    // Header fields, named after their keys; absent keys leave 0, false or empty.
    int PageHeaderVersion = 0;
    bool HighByteFirst = false;
    int BandHeight = 0;
    int BytesInLine = 0;
    int BytesInBand = 0;
    int TrimStart = 0;
    int TrimEnd = 0;
    int MaxBand = 0;
    int Compressed = 0;
    std::string DeviceName;
    int XResolution = 0;
    int YResolution = 0;
    int PrintQuality = 0;
    int Exposure = 0;
    int XNegEnhance = 0;
    int YNegEnhance = 0;
    int MediaSelect = 0;
    int MediaOffset = 0;
    int MediaWidth = 0;
    int FFFF = 0;
    int LeftMargin = 0;
    int RightMargin = 0;
    int TopMargin = 0;
    int BottomMargin = 0;
    bool ImageNegate = false;
    bool MarginNegate = false;
    int ImageWidth = 0;
    int ImageHeight = 0;
    int DataWidth = 0;
    bool CutAfterPage = false;
    int PrePageFeed = 0;
    int PostPageFeed = 0;
    int NoCopies = 0;
    int CtCopies = 0;
    bool QueueType = false;
    int JobNumber = 0;
    int PageNumber = 0;
    std::string JobName;
    bool Locked = false;
    bool MediaCenterPageWidth = false;
    int ColorType = 0;
    std::vector<int> ColorBits;
    std::vector<std::uint16_t> ColorValues;
    std::string ColorName;
    bool TrimThePage = false;
    double XResFrac = 0;
    double YResFrac = 0;
    bool RunLength = false;
    int ScreenDataCount = 0;
    int PluginDecompression = 0;
    bool InsertSheet = false;
    int PaintNo = 0;
    bool MediaCenterPageLength = false;
    int MediaHeight = 0;
    std::string RleScreenControl;
    int RleScreenGenNum = 0;
    std::string Accelerator;
    bool CollateCopies = false;
    bool RunOverlap = false;
    int OutputAttributes = 0;
    int NumSeparations = 0;
    int NumChannels = 0;
    int InterleavingStyle = 0;
    int RasterDepth = 0;
    int RasterFormat = 0;
    std::string ColorantFamily;
    std::string DeviceType;
    std::string Plugin;
    std::string DeviceAddress;
    std::string OutputQuality;
    std::string JobNameUTF8;
    std::string MediaSize;
    int NumGroupColorants = 0;
    std::vector<std::string> RleScreens;
    std::vector<std::string> PaperType;
    std::vector<std::string> GroupColorants;

    // MaxBand absolute file positions and stored sizes of the bands.
    std::vector<std::uint64_t> BandOffsets;
    std::vector<std::uint32_t> BandSizes;

    // Largest BytesInBand or BytesInLine that ReadBand accepts.
    static constexpr std::int64_t MaxBandBytes = std::int64_t(1) << 30;
    // The largest plate side in pixels: 5.5 m at 2400 dpi.
    static constexpr std::int64_t MaxPlateSide = std::int64_t(1) << 19;
    // The largest band, BandHeight lines of the plate's line: bands are read
    // one at a time per plate, so this bounds what a page costs.
    static constexpr std::int64_t MaxBandArea = std::int64_t(1) << 28;

private:
    class THeaderParser;

    // Refuses header values that no plate has, before anything is allocated
    // for them: negative sizes, sides above MaxPlateSide, lines that do not
    // cover the width, bands above MaxBandArea, and more bands than the
    // image height needs. Keys that are absent (0) are not judged.
    void CheckGeometry() const;
    void ReadHeader();
    void ReadBandTables(TStringStream& stream);
    TBandBlock Fail(std::string reason);
    TBandBlock BlankBand();
    std::unique_ptr<TStringStream> OpenSource() const;
    std::unique_ptr<TStringStream> OpenStoredBytes(int index);
    bool ReadStoredBytes(TStringStream& stream, int index, std::uint8_t* into);
    TBandBlock ReadRawBand(int index);
    TBandBlock ReadCompressedBand(int index);

    std::string Path;
    std::optional<std::span<const std::uint8_t>> Bytes;  // a page buffer in memory
    int LastBand = -1;
    std::string LastReadError;
};

}  // namespace tavrin
