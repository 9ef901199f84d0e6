// Layer names from any bytes through the part-slot grammar; the fields it fills then go
// through the selection test with selectors taken from the name's first bytes.
#include "model/part_slots.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    CPartSlotChange fields;
    const int32_t result = ParsePartSlotCommand(name.c_str(), &fields);
    if (result != 0 && result != 1) __builtin_trap();
    if (fields.kind < kSlotNone || fields.kind > kSlotHideable) __builtin_trap();
    if (fields.kind == kSlotAccessory && fields.value >= 4) __builtin_trap();
    if (result == 0 && (fields.kind != kSlotNone || fields.bustFlag != 0)) __builtin_trap();
    CPartSelectors selectors;
    std::memcpy(&selectors, data, std::min(size, sizeof selectors));
    IsPartSelected(fields, selectors);
    return 0;
}
