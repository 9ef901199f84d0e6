#include "model/part_slots.h"

#include <strings.h>

#include <cstring>

#include "platform/sjis.h"
#include "platform/tokenizer.h"

CPartSelectors g_PartSelectors;

namespace {

constexpr char kDelimiters[] = " \t\r\n";
constexpr int32_t kTokenSize = 32;
constexpr int32_t kMaxAccessory = 4;

// Applies one group's keyword and number; true when it took effect.
bool ApplyGroup(const char* group, CPartSlotChange* fields) {
    CTokenizer words;
    words.Init(group, kDelimiters);
    char keyword[kTokenSize];
    words.Next(keyword, kTokenSize);
    const int32_t n = words.NextInt();
    const struct {
        const char* keyword;
        int32_t kind;
    } kSlots[] = {{"Hear", kSlotHair}, {"Eyes", kSlotEyes}, {"Wear", kSlotWear}};
    for (const auto& slot : kSlots) {
        if (strcasecmp(keyword, slot.keyword) != 0) continue;
        fields->kind = slot.kind;
        fields->value = n;
        return true;
    }
    if (strcasecmp(keyword, "Accessory") == 0) {
        if (n >= kMaxAccessory) return false;
        fields->kind = kSlotAccessory;
        fields->value = n;
        return true;
    }
    if (strcasecmp(keyword, "Hide") == 0) {
        fields->kind = kSlotHideable;
        return true;
    }
    if (strcasecmp(keyword, "Bust") == 0) {
        fields->bustFlag = 1;
        fields->bustLayer = n;
        return true;
    }
    return false;
}

}  // namespace

int32_t ParsePartSlotCommand(const char* name, CPartSlotChange* fields) {
    if (name == nullptr || fields == nullptr) return 0;
    CTokenizer tokens;
    tokens.Init(name, kDelimiters);
    int32_t result = 0;
    while (tokens.position < tokens.length) {
        int32_t start = tokens.position;
        while (start < tokens.length && std::strchr(kDelimiters, tokens.text[start]) != nullptr) ++start;
        char group[kBracketedTokenSize];
        tokens.NextBracketed(group, kBracketedTokenSize);
        if (start < tokens.length && tokens.text[start] == '[') {
            if (group[0] != 0 && ApplyGroup(group, fields)) result = 1;
            continue;
        }
        // Outside a group: step over one character (a whole Shift-JIS one), so that a name such
        // as "Body[Wear 1]" still reaches its group and no trail byte is taken for a bracket.
        if (tokens.position < tokens.length) {
            const bool lead = IsSjisLeadByte(static_cast<unsigned char>(tokens.text[tokens.position]));
            tokens.position += lead && tokens.position + 1 < tokens.length ? 2 : 1;
        }
    }
    return result;
}

bool IsPartSelected(const CPartSlotChange& slot, const CPartSelectors& selectors) {
    switch (slot.kind) {
        case kSlotHair: return slot.value == selectors.hair;
        case kSlotEyes: return slot.value == selectors.eyes;
        case kSlotWear: return slot.value == selectors.wear;
        case kSlotAccessory: return slot.value == selectors.accessory;
        case kSlotHideable:
            return slot.value >= 0 && slot.value < kHideableFlagCount && selectors.show[slot.value] != 0;
        default: return true;
    }
}
