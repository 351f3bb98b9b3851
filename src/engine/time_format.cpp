#include "time_format.h"

#include "names/two_digits.h"

#include <cmath>
#include <ctime>
#include <sys/time.h>

namespace vantrel {

double localNowDays() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::time_t secs = tv.tv_sec;
    std::tm local{};
    localtime_r(&secs, &local);
    // Days from 1899-12-30 to 1970-01-01 are 25569.
    double localSeconds = static_cast<double>(secs) + static_cast<double>(local.tm_gmtoff) +
                          static_cast<double>(tv.tv_usec) / 1e6;
    return 25569.0 + localSeconds / 86400.0;
}

std::string formatTimeOfDay(double days, const std::string& pattern, const std::string& amText,
                            const std::string& pmText) {
    double frac = days - std::floor(days);
    // Round to the millisecond first so 0.5/86400-style values do not drift below a whole second.
    long long ms = std::llround(frac * 86400000.0);
    long long secsOfDay = (ms / 1000) % 86400;
    int hour = static_cast<int>(secsOfDay / 3600);
    int minute = static_cast<int>((secsOfDay / 60) % 60);
    int second = static_cast<int>(secsOfDay % 60);

    bool twelveHour = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '\'') {
            auto end = pattern.find('\'', i + 1);
            i = end == std::string::npos ? pattern.size() : end;
            continue;
        }
        if (c == 'a' || c == 'A') twelveHour = true;
    }

    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
        char c = pattern[i];
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) ++run;
        if (c == '\'') {
            auto end = pattern.find('\'', i + 1);
            if (end == std::string::npos) end = pattern.size();
            out += pattern.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (c == 'h' || c == 'H') {
            int h = hour;
            if (c == 'h' && twelveHour) {
                h = hour % 12;
                if (h == 0) h = 12;
            }
            out += run >= 2 ? twoDigits(h) : std::to_string(h);
        } else if (c == 'm') {
            out += run >= 2 ? twoDigits(minute) : std::to_string(minute);
        } else if (c == 's') {
            out += run >= 2 ? twoDigits(second) : std::to_string(second);
        } else if (c == 't') {
            // a time zone has no place in a duration
        } else if (c == 'a' || c == 'A') {
            if (c == 'A' && i + 1 < pattern.size() && pattern[i + 1] == 'P') run = 2;
            if (c == 'a' && i + 1 < pattern.size() && pattern[i + 1] == 'p') run = 2;
            out += hour < 12 ? amText : pmText;
        } else {
            out.append(pattern, i, run);
        }
        i += run;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

} // namespace vantrel
