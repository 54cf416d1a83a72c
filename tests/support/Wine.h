#pragma once

// Whether the test runs under wine, whose serial layer differs from Windows' in known ways
// (serial/README.md, "Windows"): a test expects wine's behaviour only there.
#ifdef _WIN32
bool RunningUnderWine();
#else
inline bool RunningUnderWine() {
    return false;
}
#endif
