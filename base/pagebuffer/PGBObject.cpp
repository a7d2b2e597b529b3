#include "base/pagebuffer/PGBObject.h"

#include "base/pagebuffer/BandDecoder.h"
#include "base/pagebuffer/HeaderValues.h"
#include "base/pagebuffer/StringStream.h"
#include "base/text/TextRules.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <variant>

namespace tavrin {

namespace {

// A header field; its C++ type fixes the value form (integer, boolean, real,
// text, integer list, 16-bit list, text list). monostate: recognised, ignored.
using TFieldRef = std::variant<std::monostate, int TPGBObject::*, bool TPGBObject::*, double TPGBObject::*,
                               std::string TPGBObject::*, std::vector<int> TPGBObject::*,
                               std::vector<std::uint16_t> TPGBObject::*, std::vector<std::string> TPGBObject::*>;

struct THeaderKey {
    const char* Key;
    TFieldRef Field;
};

using P = TPGBObject;
const THeaderKey HeaderKeys[] = {
    {"/PageHeaderVersion", &P::PageHeaderVersion},
    {"/HighByteFirst", &P::HighByteFirst},
    {"/BandHeight", &P::BandHeight},
    {"/BytesInLine", &P::BytesInLine},
    {"/BytesInBand", &P::BytesInBand},
    {"/TrimStart", &P::TrimStart},
    {"/TrimEnd", &P::TrimEnd},
    {"/MaxBand", &P::MaxBand},
    {"/Compressed", &P::Compressed},
    {"/DeviceName", &P::DeviceName},
    {"/XResolution", &P::XResolution},
    {"/YResolution", &P::YResolution},
    {"/PrintQuality", &P::PrintQuality},
    {"/Exposure", &P::Exposure},
    {"/XNegEnhance", &P::XNegEnhance},
    {"/YNegEnhance", &P::YNegEnhance},
    {"/MediaSelect", &P::MediaSelect},
    {"/MediaOffset", &P::MediaOffset},
    {"/MediaWidth", &P::MediaWidth},
    {"/FFFF", &P::FFFF},
    {"/LeftMargin", &P::LeftMargin},
    {"/RightMargin", &P::RightMargin},
    {"/TopMargin", &P::TopMargin},
    {"/BottomMargin", &P::BottomMargin},
    {"/ImageNegate", &P::ImageNegate},
    {"/MarginNegate", &P::MarginNegate},
    {"/ImageWidth", &P::ImageWidth},
    {"/ImageHeight", &P::ImageHeight},
    {"/DataWidth", &P::DataWidth},
    {"/CutAfterPage", &P::CutAfterPage},
    {"/PrePageFeed", &P::PrePageFeed},
    {"/PostPageFeed", &P::PostPageFeed},
    {"/NoCopies", &P::NoCopies},
    {"/CtCopies", &P::CtCopies},
    {"/QueueType", &P::QueueType},
    {"/JobNumber", &P::JobNumber},
    {"/PageNumber", &P::PageNumber},
    {"/JobName", &P::JobName},
    {"/Locked", &P::Locked},
    {"/MediaCenterPageWidth", &P::MediaCenterPageWidth},
    {"/ColorType", &P::ColorType},
    {"/ColorBits", &P::ColorBits},
    {"/ColorValues", &P::ColorValues},
    {"/ColorName", &P::ColorName},
    {"/TrimThePage", &P::TrimThePage},
    {"/XResFrac", &P::XResFrac},
    {"/YResFrac", &P::YResFrac},
    {"/RunLength", &P::RunLength},
    {"/ScreenDataCount", &P::ScreenDataCount},
    {"/PluginDecompression", &P::PluginDecompression},
    {"/InsertSheet", &P::InsertSheet},
    {"/PaintNo", &P::PaintNo},
    {"/MediaCenterPageLength", &P::MediaCenterPageLength},
    {"/MediaHeight", &P::MediaHeight},
    {"/RleScreenControl", &P::RleScreenControl},
    {"/RleScreenGenNum", &P::RleScreenGenNum},
    {"/Accelerator", &P::Accelerator},
    {"/CollateCopies", &P::CollateCopies},
    {"/RunOverlap", &P::RunOverlap},
    {"/OutputAttributes", &P::OutputAttributes},
    {"/NumSeparations", &P::NumSeparations},
    {"/NumChannels", &P::NumChannels},
    {"/InterleavingStyle", &P::InterleavingStyle},
    {"/RasterDepth", &P::RasterDepth},
    {"/RasterFormat", &P::RasterFormat},
    {"/ColorantFamily", &P::ColorantFamily},
    {"/DeviceType", &P::DeviceType},
    {"/Plugin", &P::Plugin},
    {"/DeviceAddress", &P::DeviceAddress},
    {"/OutputQuality", &P::OutputQuality},
    {"/JobNameUTF8", &P::JobNameUTF8},
    {"/MediaSize", &P::MediaSize},
    {"/NumGroupColorants", &P::NumGroupColorants},
    {"/RleScreens", &P::RleScreens},
    {"/PaperType", &P::PaperType},
    {"/GroupColorants", &P::GroupColorants},
    {"/Colorants", std::monostate()},
    {"/OutputDeviceParameters", std::monostate()},
};

const THeaderKey* FindHeaderKey(const std::string& key)
{
    for (const THeaderKey& entry : HeaderKeys)
        if (key == entry.Key)
            return &entry;
    return nullptr;
}

template <class... F>
struct TOverloaded : F... {
    using F::operator()...;
};
template <class... F>
TOverloaded(F...) -> TOverloaded<F...>;

// Stores the items of one header key into its field; no items set nothing.
void SetField(TPGBObject& object, const TFieldRef& field, const std::vector<std::string>& items)
{
    if (items.empty())
        return;
    std::visit(TOverloaded{
                   [](std::monostate) {},
                   [&](int P::*f) { object.*f = HeaderInteger(items[0]); },
                   [&](bool P::*f) { object.*f = HeaderBoolean(items[0]); },
                   [&](double P::*f) { object.*f = HeaderReal(items[0]); },
                   [&](std::string P::*f) { object.*f = UnescapedText(items[0]); },
                   [&](std::vector<int> P::*f) {
                       (object.*f).clear();
                       for (const std::string& item : items)
                           (object.*f).push_back(HeaderInteger(item));
                   },
                   [&](std::vector<std::uint16_t> P::*f) {
                       (object.*f).clear();
                       for (const std::string& item : items)
                           (object.*f).push_back(static_cast<std::uint16_t>(HeaderInteger(item)));
                   },
                   [&](std::vector<std::string> P::*f) {
                       (object.*f).clear();
                       for (const std::string& item : items)
                           (object.*f).push_back(UnescapedText(item));
                   },
               },
               field);
}

std::string RealText(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

template <class T>
std::string ListText(const std::vector<T>& values)
{
    std::string text;
    for (const T& value : values) {
        if (!text.empty())
            text += ',';
        if constexpr (std::is_same_v<T, std::string>)
            text += value;
        else
            text += std::to_string(value);
    }
    return text;
}

std::string FieldText(const TPGBObject& object, const TFieldRef& field)
{
    return std::visit(TOverloaded{
                          [](std::monostate) { return std::string(); },
                          [&](int P::*f) { return std::to_string(object.*f); },
                          [&](bool P::*f) { return std::string(object.*f ? "True" : "False"); },
                          [&](double P::*f) { return RealText(object.*f); },
                          [&](std::string P::*f) { return object.*f; },
                          [&](auto list) { return ListText(object.*list); },
                      },
                      field);
}

std::uint64_t LittleEndian(const std::uint8_t* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

}  // namespace

// Reads header lines up to "pgbimage" into the fields of one object.
class TPGBObject::THeaderParser {
public:
    THeaderParser(TPGBObject& object, TStringStream& stream) : Object(object), Stream(stream) {}

    void ParseHeader()
    {
        for (;;) {
            const std::string line = NextTrimmedLine("ends before its \"pgbimage\" line");
            if (line == "pgbimage")
                return;
            ParseLine(line);
        }
    }

private:
    std::string NextTrimmedLine(const char* failure)
    {
        if (!Stream.ReadLine(Line))
            throw std::runtime_error("The page buffer file \"" + Object.Path + "\" " + failure);
        return Trimmed(Line);
    }

    // 1. Split into key and value. 2. Collect the items: the value itself, or
    // the bracketed lines that follow a key without value. 3. Store them.
    void ParseLine(const std::string& line)
    {
        const std::size_t end = line.find_first_of("\t\n\r ");
        const std::string key = line.substr(0, end);
        if (key.empty())
            return;
        const std::string value = end == std::string::npos ? std::string() : Trimmed(line.substr(end + 1));
        std::vector<std::string> items;
        if (!value.empty()) {
            items.push_back(value);
        } else {
            const std::string next = NextTrimmedLine("ends before its \"pgbimage\" line");
            if (next == "[")
                items = ListItems();
            // Amid the keys, a line that is no key is the rest of a value that
            // a line break split; the key line it would swallow would be lost.
            else if (KeySeen && key.front() != '/' && (next.starts_with('/') || next == "pgbimage"))
                throw std::runtime_error("The page buffer file \"" + Object.Path +
                                         "\" has a line break inside a value: its line \"" + key +
                                         "\" would swallow the line \"" + next + "\"");
        }
        KeySeen = KeySeen || key.front() == '/';
        if (const THeaderKey* known = FindHeaderKey(key)) {
            // A text that a line break split leaves its rest on the next line,
            // which then swallows the key after it: the header cannot be trusted.
            if (std::holds_alternative<std::string TPGBObject::*>(known->Field) && !items.empty() &&
                !IsClosedText(items[0]))
                throw std::runtime_error("The page buffer file \"" + Object.Path + "\" has a line break inside its " +
                                         key + " text");
            SetField(Object, known->Field, items);
        }
    }

    // A text written as "(...)" whose closing ")" is not escaped; a text
    // without the opening "(" is taken whole.
    static bool IsClosedText(const std::string& value)
    {
        if (value.empty() || value.front() != '(')
            return true;
        if (value.size() < 2 || value.back() != ')')
            return false;
        std::size_t backslashes = 0;
        for (std::size_t i = value.size() - 1; i > 1 && value[i - 1] == '\\'; --i)
            ++backslashes;
        return backslashes % 2 == 0;
    }

    std::vector<std::string> ListItems()
    {
        std::vector<std::string> items;
        for (;;) {
            std::string item = NextTrimmedLine("ends inside a bracketed list");
            if (item == "]")
                return items;
            items.push_back(std::move(item));
        }
    }

    TPGBObject& Object;
    TStringStream& Stream;
    std::string Line;
    bool KeySeen = false;
};

TPGBObject::TPGBObject(const std::string& path) : Path(path)
{
    ReadHeader();
}

TPGBObject::TPGBObject(const std::string& name, std::span<const std::uint8_t> bytes) : Path(name), Bytes(bytes)
{
    ReadHeader();
}

void TPGBObject::ReadHeader()
{
    const auto stream = OpenSource();
    THeaderParser(*this, *stream).ParseHeader();
    CheckGeometry();
    ReadBandTables(*stream);
}

std::unique_ptr<TStringStream> TPGBObject::OpenSource() const
{
    return Bytes ? std::make_unique<TStringStream>(Path, *Bytes) : std::make_unique<TStringStream>(Path);
}

void TPGBObject::CheckGeometry() const
{
    const auto refuse = [&](const std::string& key, std::int64_t value, const std::string& why) {
        throw std::runtime_error("The page buffer file \"" + Path + "\" has " + key + " " + std::to_string(value) +
                                 ": " + why);
    };
    const std::pair<const char*, int> sizes[] = {{"ImageWidth", ImageWidth},   {"ImageHeight", ImageHeight},
                                                 {"DataWidth", DataWidth},     {"BandHeight", BandHeight},
                                                 {"BytesInLine", BytesInLine}, {"BytesInBand", BytesInBand}};
    for (const auto& [key, value] : sizes)
        if (value < 0)
            refuse(key, value, "a size cannot be negative");
    for (const auto& [key, value] : {sizes[0], sizes[1], sizes[2], sizes[3]})
        if (value > MaxPlateSide)
            refuse(key, value, "more than the " + std::to_string(MaxPlateSide) + " pixels of the largest plate");
    if (BytesInLine > 0 && ImageWidth > 0 && std::int64_t(BytesInLine) * 8 < ImageWidth)
        refuse("BytesInLine", BytesInLine,
               "a line of that many bytes cannot hold ImageWidth " + std::to_string(ImageWidth) + " pixels");
    const std::int64_t lineBytes = std::max<std::int64_t>(BytesInLine, (std::int64_t(ImageWidth) + 7) / 8);
    if (std::int64_t(BandHeight) * lineBytes > MaxBandArea)
        refuse("BandHeight", BandHeight,
               "bands of " + std::to_string(lineBytes) + "-byte lines would be larger than " +
                   std::to_string(MaxBandArea) + " bytes");
    if (BytesInBand > MaxBandArea)
        refuse("BytesInBand", BytesInBand,
               "more than the " + std::to_string(MaxBandArea) + " bytes of the largest band");
    if (BytesInBand > 0 && BandHeight > 0 && BytesInLine > 0 &&
        std::int64_t(BytesInBand) > std::int64_t(BandHeight) * BytesInLine)
        refuse("BytesInBand", BytesInBand,
               "more than BandHeight " + std::to_string(BandHeight) + " lines of " + std::to_string(BytesInLine) +
                   " bytes");
    if (MaxBand > MaxPlateSide)
        refuse("MaxBand", MaxBand,
               "more bands than the " + std::to_string(MaxPlateSide) + " lines of the largest plate");
    if (MaxBand > 0 && BandHeight > 0 && ImageHeight > 0 &&
        std::int64_t(MaxBand) > (std::int64_t(ImageHeight) + BandHeight - 1) / BandHeight)
        refuse("MaxBand", MaxBand,
               "more bands of BandHeight " + std::to_string(BandHeight) + " than ImageHeight " +
                   std::to_string(ImageHeight) + " needs");
}

void TPGBObject::ReadBandTables(TStringStream& stream)
{
    if (MaxBand <= 0)
        return;
    // 12 bytes per band with 8-byte offsets, 8 with 4-byte ones; a table larger than the file is not read.
    const bool wideOffsetsFirst = PageHeaderVersion >= 20;
    const int offsetBytes = wideOffsetsFirst ? 8 : 4;
    const std::size_t bands = static_cast<std::size_t>(MaxBand);
    const std::uint64_t tableBytes = std::uint64_t(bands) * (offsetBytes + 4);
    const std::uint64_t left = stream.Size() > stream.Position() ? stream.Size() - stream.Position() : 0;
    if (tableBytes > left)
        throw std::runtime_error("The band tables of " + std::to_string(MaxBand) +
                                 " bands do not fit in the page buffer file \"" + Path + "\"");
    std::vector<std::uint8_t> tables(tableBytes);
    stream.Read(tables.data(), tables.size());

    const std::uint8_t* offsets = wideOffsetsFirst ? tables.data() : tables.data() + 4 * bands;
    const std::uint8_t* sizes = wideOffsetsFirst ? tables.data() + 8 * bands : tables.data();
    BandOffsets.resize(bands);
    BandSizes.resize(bands);
    for (std::size_t i = 0; i < bands; ++i) {
        BandOffsets[i] = LittleEndian(offsets + i * offsetBytes, offsetBytes);
        BandSizes[i] = static_cast<std::uint32_t>(LittleEndian(sizes + i * 4, 4));
    }
}

std::string TPGBObject::GetJobTitle() const
{
    std::string title = JobName;
    title.erase(0, std::min(title.find_first_not_of("0123456789"), title.size()));
    if (!title.empty() && title.front() == '.')
        title.erase(0, 1);
    title = Trimmed(title);
    if (!title.empty() && title.back() == ')') {
        const std::size_t open = title.rfind('(');
        // Without "(" the whole trimmed name is the title.
        if (open != std::string::npos)
            title = Trimmed(title.substr(0, open));
    }
    return title;
}

std::vector<std::pair<std::string, std::string>> TPGBObject::HeaderFieldTexts() const
{
    std::vector<std::pair<std::string, std::string>> fields;
    for (const THeaderKey& entry : HeaderKeys)
        if (!std::holds_alternative<std::monostate>(entry.Field))
            fields.emplace_back(entry.Key + 1, FieldText(*this, entry.Field));
    return fields;
}

TBandBlock TPGBObject::Fail(std::string reason)
{
    LastReadError = std::move(reason);
    return nullptr;
}

TBandBlock TPGBObject::BlankBand()
{
    return std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(BytesInBand));
}

// Opens the file positioned at band index's stored bytes; null (with the
// reason set) when the file does not hold all of them, so nothing is
// allocated for bytes that are not there.
std::unique_ptr<TStringStream> TPGBObject::OpenStoredBytes(int index)
{
    auto stream = OpenSource();
    const std::uint64_t offset = BandOffsets[index];
    const std::uint64_t size = BandSizes[index];
    if (offset > stream->Size() || size > stream->Size() - offset) {
        LastReadError = "the file ends inside the band's stored bytes";
        return nullptr;
    }
    stream->Seek(offset);
    return stream;
}

bool TPGBObject::ReadStoredBytes(TStringStream& stream, int index, std::uint8_t* into)
{
    if (stream.Read(into, BandSizes[index]) == BandSizes[index])
        return true;
    // The file shrank since it was measured.
    LastReadError = "the file ends inside the band's stored bytes";
    return false;
}

TBandBlock TPGBObject::ReadRawBand(int index)
{
    const std::uint32_t size = BandSizes[index];
    if (size > MaxBandBytes)
        return Fail("stored size " + std::to_string(size) + " is too large");
    const auto stream = OpenStoredBytes(index);
    if (!stream)
        return nullptr;
    // A raw band stored shorter than BytesInBand still hands over a whole band.
    auto block = std::make_unique<std::uint8_t[]>(std::max<std::size_t>(size, std::size_t(BytesInBand)));
    if (!ReadStoredBytes(*stream, index, block.get()))
        return nullptr;
    LastBand = index;
    return block;
}

// 1. Order check. 2. Read the stored bytes. 3. Check the compression number.
// 4. Decode below a zero line. 5. Move the band to the start of the area.
TBandBlock TPGBObject::ReadCompressedBand(int index)
{
    if (index != LastBand + 1)
        return Fail("a compressed band is read only right after band " + std::to_string(index - 1) +
                    " (last band read: " + std::to_string(LastBand) + ")");
    if (BytesInLine <= 0 || BytesInLine > MaxBandBytes)
        return Fail("BytesInLine " + std::to_string(BytesInLine) + " is not a usable line size");
    const auto stream = OpenStoredBytes(index);
    if (!stream)
        return nullptr;
    std::vector<std::uint8_t> stored(BandSizes[index]);
    if (!ReadStoredBytes(*stream, index, stored.data()))
        return nullptr;
    if (stored[0] != CompressionSeven)
        return Fail("compressed band starts with " + std::to_string(stored[0]) + ", not 7");

    const std::size_t line = static_cast<std::size_t>(BytesInLine);
    const std::size_t band = static_cast<std::size_t>(BytesInBand);
    auto area = std::make_unique<std::uint8_t[]>(band + line);
    const TBandDecodeResult result = DecodeBandCodes(stored.data() + 1, stored.size() - 1, area.get(), band, line);
    LastBand = index;
    if (result != TBandDecodeResult::Done)
        return Fail(BandDecodeResultText(result));
    std::memmove(area.get(), area.get() + line, band);
    return area;
}

TBandBlock TPGBObject::ReadBand(int index)
{
    LastReadError.clear();
    if (index < 0 || static_cast<std::size_t>(index) >= BandSizes.size())
        return Fail("no band " + std::to_string(index) + " in " + std::to_string(BandSizes.size()) + " bands");
    if (BytesInBand <= 0 || BytesInBand > MaxBandBytes)
        return Fail("BytesInBand " + std::to_string(BytesInBand) + " is not a usable band size");
    const std::uint32_t size = BandSizes[index];
    const bool raw = Compressed == -1 || (Compressed == 7 && size == std::uint32_t(BytesInBand));
    const bool compressed = Compressed == 7 && size < std::uint32_t(BytesInBand);
    if ((raw || compressed) && size == 0) {
        LastBand = index;
        return BlankBand();
    }
    if (raw)
        return ReadRawBand(index);
    if (compressed)
        return ReadCompressedBand(index);
    if (Compressed == 7)
        return Fail("stored size " + std::to_string(size) + " is above BytesInBand");
    return Fail("unknown compression " + std::to_string(Compressed));
}

}  // namespace tavrin
