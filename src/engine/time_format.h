// Clock and long-time-format helpers shared by the window and the in-memory window.
#pragma once

#include <string>

namespace vantrel {

// Local date and time as days since 1899-12-30 00:00 (time of day as fraction).
double localNowDays();

// Renders the part below one day of a duration given in days with a time
// pattern: h/hh (12- or 24-hour by the presence of an AM/PM marker), H/HH,
// m/mm, s/ss, AP/ap/A/a (the marker, from amText/pmText), t (time zone,
// dropped), text in single quotes copied literally. Seconds are truncated, as a clock shows them.
std::string formatTimeOfDay(double days, const std::string& pattern, const std::string& amText = "AM",
                            const std::string& pmText = "PM");

} // namespace vantrel
