#pragma once

// One tick of the update timer (one a minute while automatic updating is on): counts it in
// MinuteCount and tells whether the automatic run is due. The caller then runs the listing and
// sets MinuteCount to 0.
//
// The count restarts, instead of passing the interval for ever, when the interval was lowered
// below it, when the interval is 0 or less (no run then), and when it would pass 32767. A run
// that is due while another run is in progress (one of its message boxes is open) does not
// start: the count restarts instead.
bool minuteTick(int &MinuteCount, int AutoUpdateTime, bool runInProgress);
