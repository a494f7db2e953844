#include "data/limits.h"

#include <cfloat>
#include <cstring>

#include "data/filelag.h"
#include "platform/fileio.h"
#include "platform/text16.h"

ItemLimits itemLimits[ItemSlots];

static const unsigned char header[LimitsHeaderBytes] = {'v', 'o', 'k', 'L', 1, sizeof(ItemLimits), ItemSlots, 0};

static bool finite(float value) { return value >= -FLT_MAX && value <= FLT_MAX; }

bool readLimitsImage(const unsigned char* image, long size, ItemLimits out[ItemSlots])
{
    std::memset(out, 0, ItemSlots * sizeof(ItemLimits));
    if (!image || size != long(LimitsFileBytes) || std::memcmp(image, header, LimitsHeaderBytes) != 0) return false;
    std::memcpy(out, image + LimitsHeaderBytes, ItemSlots * sizeof(ItemLimits));
    for (int i = 0; i < ItemSlots; ++i) {
        ItemLimits& l = out[i];
        l.flags &= LimitUpper | LimitLower | PercentDifference;
        if (!finite(l.upper)) l.flags &= uint8_t(~LimitUpper);
        if (!finite(l.lower)) l.flags &= uint8_t(~LimitLower);
        if (!(l.flags & LimitUpper)) l.upper = 0.0f;
        if (!(l.flags & LimitLower)) l.lower = 0.0f;
        if (l.alert > AlertBelow) l.alert = AlertInside;
        l.reserved[0] = l.reserved[1] = 0;
    }
    return true;
}

void writeLimitsImage(unsigned char out[LimitsFileBytes], const ItemLimits in[ItemSlots])
{
    std::memcpy(out, header, LimitsHeaderBytes);
    std::memcpy(out + LimitsHeaderBytes, in, ItemSlots * sizeof(ItemLimits));
}

// The file's path; whether it could not be read (then it is never written until
// it is), whether a save is due, and whether the options dialog changed the
// limits while the file was unread (then they, not the file, win).
static char16_t limitsPath[260];
static bool unread, unsaved, changedWhileUnread;

static void noteLag() { setLag(LimitsLag, unread || unsaved); }

// One read of the file: false only when it is there and could not be read.
static bool takeLimitsFile()
{
    unsigned char image[LimitsFileBytes + 1];
    long got = readFileStart(limitsPath, image, sizeof image);
    if (got == FileUnreadable) return false;
    ItemLimits read[ItemSlots];
    readLimitsImage(image, got, read);  // missing or damaged: no limits
    std::memcpy(itemLimits, read, sizeof read);
    return true;
}

static bool samePath(const char16_t* a, const char16_t* b)
{
    size_t i = 0;
    for (; i < 260 && a[i] == b[i] && a[i]; ++i) {}
    return i < 260 && a[i] == b[i];
}

void loadLimits(const char16_t* path)
{
    if (length16(path, 260) >= 260) path = u"";  // cut short it would name another file
    // Memory ahead of its file (a save that failed, the user's limits waiting for
    // a file that could not be read) stays ahead: the file is brought up instead.
    if ((unsaved || changedWhileUnread) && samePath(path, limitsPath)) {
        saveLimitsIfUnsaved();
        return;
    }
    copy16(limitsPath, 260, path);
    unsaved = changedWhileUnread = false;
    unread = limitsPath[0] && !takeLimitsFile();
    noteLag();
}

bool readLimitsIfUnread()
{
    if (!unread) return true;
    if (changedWhileUnread) {
        unsigned char probe[1];
        if (readFileStart(limitsPath, probe, sizeof probe) == FileUnreadable) return false;
        unsaved = true;
    } else if (!takeLimitsFile()) {
        return false;
    }
    unread = changedWhileUnread = false;
    noteLag();
    return true;
}

bool saveLimits(bool changedByUser)
{
    unsaved = true;
    if (unread) changedWhileUnread = changedWhileUnread || changedByUser;
    return saveLimitsIfUnsaved();
}

bool saveLimitsIfUnsaved()
{
    if (readLimitsIfUnread() && unsaved) {
        unsigned char image[LimitsFileBytes];
        writeLimitsImage(image, itemLimits);
        // With no place for the file memory is the only copy.
        unsaved = limitsPath[0] && !replaceFileContents(limitsPath, image, sizeof image);
    }
    noteLag();
    return !unread && !unsaved;
}

bool limitsFileHolds() { return !unread && !unsaved; }
