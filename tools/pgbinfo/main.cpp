// pgbinfo: shows what the RIP wrote into one page buffer file, for support
// staff and end-to-end tests.
#include "base/pagebuffer/PGBObject.h"
#include "base/text/TerminalText.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <nettle/sha2.h>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tavrin;

namespace {

const char* const Usage = "Usage: pgbinfo FILE               header fields, job title and band tables\n"
                          "       pgbinfo --read I,J,K FILE  read bands in that order: size and SHA-256, or null\n"
                          "       pgbinfo --dump I FILE      band I as delivered, after reading bands 0..I-1 in order\n"
                          "       pgbinfo --pbm FILE         the whole plate as a binary PBM (a band that cannot be\n"
                          "                                  delivered is blank)\n";

int UsageError()
{
    std::fputs(Usage, stderr);
    return 2;
}

template <class T>
std::string Joined(const std::vector<T>& values)
{
    std::string text;
    for (const T& value : values)
        text += (text.empty() ? "" : ",") + std::to_string(value);
    return text;
}

std::string Sha256Hex(const std::uint8_t* bytes, std::size_t count)
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, count, bytes);
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : digest)
        text += {hex[b >> 4], hex[b & 15]};
    return text;
}

// "I,J,K" as band indexes; false when any is not a decimal number.
bool BandList(const std::string& text, std::vector<int>& indexes)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::size_t used = 0;
        try {
            indexes.push_back(std::stoi(item, &used));
        } catch (const std::logic_error&) {
            return false;
        }
        if (used != item.size())
            return false;
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

int PrintHeader(const TPGBObject& pgb)
{
    // The texts are the RIP's (the job's author typed the name): one line
    // each, nothing in them that a terminal would obey.
    for (const auto& [key, value] : pgb.HeaderFieldTexts())
        std::cout << key << '=' << TerminalText(value) << '\n';
    std::cout << "JobTitle=" << TerminalText(pgb.GetJobTitle()) << '\n';
    std::cout << "BandOffsets=" << Joined(pgb.BandOffsets) << '\n';
    std::cout << "BandSizes=" << Joined(pgb.BandSizes) << '\n';
    return 0;
}

int PrintReads(TPGBObject& pgb, const std::vector<int>& indexes)
{
    for (int index : indexes) {
        const TBandBlock band = pgb.ReadBand(index);
        if (band)
            std::cout << "band " << index << ": " << pgb.BytesInBand << " bytes "
                      << Sha256Hex(band.get(), static_cast<std::size_t>(pgb.BytesInBand)) << '\n';
        else
            std::cout << "band " << index << ": null\n";
    }
    return 0;
}

int DumpBand(TPGBObject& pgb, int index)
{
    for (int before = 0; before < index && before < pgb.MaxBand; ++before)
        pgb.ReadBand(before);
    const TBandBlock band = pgb.ReadBand(index);
    if (!band) {
        std::cerr << "band " << index << ": " << TerminalText(pgb.ReadBandError()) << '\n';
        return 1;
    }
    std::cout.write(reinterpret_cast<const char*>(band.get()), pgb.BytesInBand);
    return 0;
}

// PBM rows from page lines: 32-bit little-endian words, leftmost pixel in the
// most significant bit, so each group of four bytes is reversed.
int WritePlatePBM(TPGBObject& pgb)
{
    const long long line = pgb.BytesInLine, band = pgb.BytesInBand;
    if (line <= 0 || band < line || band > TPGBObject::MaxBandBytes)
        throw std::runtime_error("The page buffer has no usable band geometry");
    const long long linesPerBand = band / line;
    const long long lines = linesPerBand * pgb.MaxBand;
    const long long width = pgb.ImageWidth > 0 && pgb.ImageWidth <= line * 8 ? pgb.ImageWidth : line * 8;
    const long long height = pgb.ImageHeight > 0 && pgb.ImageHeight <= lines ? pgb.ImageHeight : lines;
    const std::size_t rowBytes = static_cast<std::size_t>((width + 7) / 8);
    std::cout << "P4\n" << width << ' ' << height << '\n';
    std::vector<std::uint8_t> row(rowBytes);
    for (long long y = 0, bandIndex = 0; y < height; ++bandIndex) {
        TBandBlock block = pgb.ReadBand(static_cast<int>(bandIndex));
        for (long long i = 0; i < linesPerBand && y < height; ++i, ++y) {
            for (std::size_t k = 0; k < rowBytes; ++k) {
                const std::size_t source = (k & ~std::size_t(3)) + 3 - (k & 3);
                row[k] = block && source < static_cast<std::size_t>(line) ? block[i * line + source] : 0;
            }
            if (const int spare = static_cast<int>(rowBytes * 8 - width); spare > 0)
                row[rowBytes - 1] &= static_cast<std::uint8_t>(0xff << spare);
            std::cout.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(rowBytes));
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--help") {
        std::fputs(Usage, stdout);
        return 0;
    }
    const bool plain = args.size() == 1 && args[0].rfind("--", 0) != 0;
    const bool withValue = args.size() == 3 && (args[0] == "--read" || args[0] == "--dump");
    const bool pbm = args.size() == 2 && args[0] == "--pbm";
    std::vector<int> indexes;
    if (!plain && !withValue && !pbm)
        return UsageError();
    if (withValue && (!BandList(args[1], indexes) || (args[0] == "--dump" && indexes.size() != 1)))
        return UsageError();
    try {
        TPGBObject pgb(args.back());
        if (plain)
            return PrintHeader(pgb);
        if (pbm)
            return WritePlatePBM(pgb);
        return args[0] == "--read" ? PrintReads(pgb, indexes) : DumpBand(pgb, indexes[0]);
    } catch (const std::exception& error) {
        std::cerr << TerminalText(error.what()) << '\n';
        return 1;
    }
}
