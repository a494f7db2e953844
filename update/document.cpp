#include "update/document.h"

#include "data/history.h"
#include "data/settings.h"
#include "platform/text16.h"
#include "update/download.h"
#include "update/ratesreader.h"

bool storeReceivedDocument(char* text, size_t length, DayCode& stored)
{
    stored = DayCode{0, 0, 0};
    if (length <= DocumentFloor || length >= DocumentLimit) return false;
    text[length] = 0;
    DayRates rates;
    // A NUL inside the body, a cut table or a damaged date: refused, nothing stored.
    if (!parseDailyRates(text, length, rates)) return false;
    storeDay(rates);
    stored = rates.code;
    return true;
}

void takeFetchSettings(FetchSettings& out)
{
    lockHistory();
    out.establishConnection = (settings.updateFlags & EstablishConnection) != 0;
    out.useProxy = settings.useProxy != 0;
    copy16(out.proxy, 65, settings.proxy);
    unlockHistory();
}
