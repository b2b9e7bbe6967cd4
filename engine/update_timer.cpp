#include "engine/update_timer.h"

bool minuteTick(int &MinuteCount, int AutoUpdateTime, bool runInProgress)
{
    ++MinuteCount;
    if (AutoUpdateTime <= 0) {
        MinuteCount = 0;
        return false;
    }
    if (MinuteCount > AutoUpdateTime || MinuteCount > 32767)
        MinuteCount = 1; // this tick is the first of a new count
    if (MinuteCount != AutoUpdateTime)
        return false;
    if (runInProgress) {
        MinuteCount = 0;
        return false;
    }
    return true;
}
