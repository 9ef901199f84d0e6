// Mesh part slots: a character model carries alternative pieces (hair, eyes, outfits,
// accessories, pieces that can be hidden, a bust shape) as mesh layers whose names hold
// bracketed tags such as "[Wear 2]" or "[Accessory 1][Hide]". The tags fill a layer's slot
// fields; the model pass compares them with the process-wide part selection.
#pragma once

#include <cstdint>

enum : int32_t {
    kSlotNone = 0,
    kSlotHair = 1,
    kSlotEyes = 2,
    kSlotWear = 3,
    kSlotAccessory = 4,
    kSlotHideable = 5,
};

constexpr int32_t kHideableFlagCount = 4;

// The part-slot fields of one mesh layer.
struct CPartSlotChange {
    int32_t kind = kSlotNone;
    int32_t value = 0;     // the piece's number in its slot; for kSlotHideable its show flag
    int32_t bustFlag = 0;  // 1: drawn morphed towards bustLayer with the selection's bust weight
    int32_t bustLayer = -1;
};

// Which pieces to show. Nothing in the program writes it; it starts at zero.
struct CPartSelectors {
    int32_t hair = 0;
    int32_t eyes = 0;
    int32_t wear = 0;
    int32_t accessory = 0;
    float bustWeight = 0.0f;
    int32_t show[kHideableFlagCount] = {};
};

extern CPartSelectors g_PartSelectors;

// Reads the bracketed groups of a layer name into `fields` (which hold their defaults or what
// earlier calls set). A group holds a keyword, compared without regard to case, and except for
// "Hide" a decimal number, separated by blanks, tabs, carriage returns or line feeds:
// "Hear" n (hair), "Eyes" n, "Wear" n, "Accessory" n (only n < 4), "Hide", "Bust" n. Later
// groups overwrite earlier ones; other keywords change nothing. Returns 1 when a keyword took
// effect, else 0.
int32_t ParsePartSlotCommand(const char* name, CPartSlotChange* fields);

// The selection test of the model pass: true when the layer is drawn under `selectors`. A
// hideable piece whose show-flag index lies outside 0..3 has no flag that could show it.
bool IsPartSelected(const CPartSlotChange& slot, const CPartSelectors& selectors);
