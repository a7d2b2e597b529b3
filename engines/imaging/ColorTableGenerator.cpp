#include "engines/imaging/ColorTableGenerator.h"

#include "engines/imaging/BuiltinProfile.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

namespace tavrin {

namespace {

struct TContextDeleter {
    void operator()(cmsContext context) const { cmsDeleteContext(context); }
};
struct TProfileDeleter {
    void operator()(cmsHPROFILE profile) const { cmsCloseProfile(profile); }
};
struct TTransformDeleter {
    void operator()(cmsHTRANSFORM transform) const { cmsDeleteTransform(transform); }
};
using TContextHandle = std::unique_ptr<std::remove_pointer_t<cmsContext>, TContextDeleter>;
using TProfileHandle = std::unique_ptr<void, TProfileDeleter>;
using TTransformHandle = std::unique_ptr<void, TTransformDeleter>;

// Little CMS reports failures here as well as by null handles; the handles
// are what BuildTable goes by, so the report itself is dropped.
void IgnoreLittleCMSError(cmsContext, cmsUInt32Number, const char*) {}

// A context of its own per build: its error handler is not process-wide, so
// builds on different threads never disturb each other.
TContextHandle CreateQuietContext()
{
    TContextHandle context(cmsCreateContext(nullptr, nullptr));
    if (context)
        cmsSetLogErrorHandlerTHR(context.get(), IgnoreLittleCMSError);
    return context;
}

TProfileHandle OpenDestinationProfile(cmsContext context, const std::string& path)
{
    if (!context)
        return nullptr;
    if (path.empty())
        return TProfileHandle(cmsCreate_sRGBProfileTHR(context));
    return TProfileHandle(cmsOpenProfileFromFileTHR(context, path.c_str(), "r"));
}

TProfileHandle OpenSourceProfile(cmsContext context, const std::string& path)
{
    if (!context)
        return nullptr;
    if (path.empty())
        return TProfileHandle(cmsOpenProfileFromMemTHR(context, BuiltinCMYKProfileBytes,
                                                       static_cast<cmsUInt32Number>(BuiltinCMYKProfileSize)));
    return TProfileHandle(cmsOpenProfileFromFileTHR(context, path.c_str(), "r"));
}

// ": the profile PATH cannot be opened", or nothing for a built-in profile.
std::string CannotOpen(const std::string& path)
{
    return path.empty() ? std::string() : ": the profile " + path + " cannot be opened";
}

// ": PATH is not an RGB profile", or nothing for a built-in profile.
std::string NotOfSpace(const std::string& path, const std::string& space)
{
    return path.empty() ? std::string() : ": " + path + " is not " + space + " profile";
}

bool HasColorSpace(cmsHPROFILE profile, int pixelType)
{
    return _cmsLCMScolorSpace(cmsGetColorSpace(profile)) == pixelType;
}

// The CMYK value of one plate combination index:
//   1. start with no ink;
//   2. OR in every inked spot colour that the list holds, channel by channel
//      (128 and 64 give 192, 192 and 128 give 192);
//   3. an inked process plate sets its channel to 255;
//   4. the result is C, M, Y, K in this order.
std::array<std::uint8_t, 4> PlateCombinationCMYK(unsigned index, const std::vector<TSpotColor>& spots)
{
    std::array<std::uint8_t, 4> cmyk{};
    for (std::size_t k = 0; k < spots.size(); ++k) {
        if ((index & (0x10u << k)) != 0)
            continue;
        cmyk[0] |= spots[k].C;
        cmyk[1] |= spots[k].M;
        cmyk[2] |= spots[k].Y;
        cmyk[3] |= spots[k].K;
    }
    // Bit 3 is cyan down to bit 0 black, the reverse of the channel order.
    for (unsigned channel = 0; channel < 4; ++channel) {
        if ((index & (0x08u >> channel)) == 0)
            cmyk[channel] = 255;
    }
    return cmyk;
}

}  // namespace

TColorTableGenerator::TColorTableGenerator(std::string inputProfile, std::string outputProfile)
    : InputPath(std::move(inputProfile)), OutputPath(std::move(outputProfile))
{
}

bool TColorTableGenerator::AddSpotColor(const TSpotColor& spot)
{
    if (Spots.size() >= MaxSpotColors)
        return false;
    Spots.push_back(spot);
    return true;
}

void TColorTableGenerator::Clear()
{
    Spots.clear();
    Table = TColorTable{};
}

// 1. Open both profiles in a context of this call's own (destination first).
// 2. Check, in this order: destination opened, source opened, destination
//    RGB, source CMYK, transform made. Handles close on every way out.
// 3. Convert the CMYK values of all 256 indexes in one call, straight into
//    the table.
void TColorTableGenerator::BuildTable()
{
    // Declared in this order so that they are released transform first,
    // then source, destination and the context.
    const TContextHandle context = CreateQuietContext();
    const TProfileHandle destination = OpenDestinationProfile(context.get(), OutputPath);
    const TProfileHandle source = OpenSourceProfile(context.get(), InputPath);

    // The operator mends a profile by its file: every message about one names it.
    if (!destination)
        throw EColorProfileError("Could not create destination color space" + CannotOpen(OutputPath));
    if (!source)
        throw EColorProfileError("Could not create source color space" + CannotOpen(InputPath));
    if (!HasColorSpace(destination.get(), PT_RGB))
        throw EColorProfileError("Incorrect output colorspace" + NotOfSpace(OutputPath, "an RGB"));
    if (!HasColorSpace(source.get(), PT_CMYK))
        throw EColorProfileError("Incorrect input color space" + NotOfSpace(InputPath, "a CMYK"));

    const TTransformHandle transform(cmsCreateTransformTHR(context.get(), source.get(), TYPE_CMYK_8, destination.get(),
                                                           TYPE_RGB_8, INTENT_PERCEPTUAL,
                                                           cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_HIGHRESPRECALC));
    if (!transform)
        throw EColorProfileError("could not create a colorspace transform");

    std::array<std::uint8_t, 256 * 4> cmyk;
    for (unsigned index = 0; index < 256; ++index) {
        const auto value = PlateCombinationCMYK(index, Spots);
        std::copy(value.begin(), value.end(), cmyk.begin() + index * 4);
    }
    cmsDoTransform(transform.get(), cmyk.data(), Table.data(), 256);
}

}  // namespace tavrin
