#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// What a page's master shows of one plate: the SHA-256 of the plate's rows as
// the master holds them (see TPlateRowDigests), with the page's size and
// resolution. A new rip of the same plates writes new page buffer headers, so
// rounds of a job are told apart by these, never by the files' digests; they
// stand in for a master that no longer exists.
struct TPlateDigest {
    std::int32_t Page = 0;
    std::string ColorName;  // as on the plate
    int IndexBit = 0;       // the plate's bit in the master's palette index
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t XResolution = 0;
    std::uint32_t YResolution = 0;
    std::string SHA256;  // 64 lower-case hex digits
};

// Replaces the rows of one page of a job with these (all of that page), in
// one transaction, in the given order. Raises the catalogue's error; the old
// rows then stay.
void ReplacePageDigests(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page,
                        const std::vector<TPlateDigest>& plates);

// Removes the rows of one page of a job; of every page outside 1 to
// pageCount; of the whole job. Raise the catalogue's error.
void RemovePageDigests(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page);
void RemoveDigestsBeyondPages(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t pageCount);
void RemoveJobDigests(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// A job's rows in page order, in the order they were stored within a page;
// empty for a job mastered before they were kept. A row whose numbers cannot
// be read is left out. Raises the catalogue's error.
std::vector<TPlateDigest> LoadJobDigests(TCatalogueConnection& catalogue, std::uint32_t jobReference);

}  // namespace tavrin
