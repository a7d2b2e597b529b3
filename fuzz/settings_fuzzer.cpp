// Settings files of any content: every key read, the account fields
// deciphered. Whatever the text, reading gives a record; crashes and bad
// memory access are faults.
#include "base/settings/SettingsFile.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tavrin::TSettingsRecord record;
    tavrin::LoadSettingsText(record, std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
