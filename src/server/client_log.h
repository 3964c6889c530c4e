#pragma once
// The client log: one row per client address, in the order the addresses first asked, with the
// time of the latest request, the device's name and type, the number of requests and the time
// spent serving them. Rows are never removed.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/network.h"
#include "platform/ui.h"

namespace tv {

// Columns of a log row.
inline constexpr int kLogTimeColumn = 0;
inline constexpr int kLogAddressColumn = 1;
inline constexpr int kLogDeviceNameColumn = 2;
inline constexpr int kLogDeviceTypeColumn = 3;
inline constexpr int kLogRequestsColumn = 4;
inline constexpr int kLogDurationColumn = 5;

struct TimeOfDay {
  int hours = 0, minutes = 0, seconds = 0;
};

// Where the log reads the time. Called from handler threads, also with the log's lock held.
struct ClientLogClock {
  std::function<std::chrono::steady_clock::time_point()> now;  // the tick durations are measured by
  std::function<TimeOfDay()> timeOfDay;                        // the local clock
};
[[nodiscard]] ClientLogClock SystemClientLogClock();

// "09:05:03".
[[nodiscard]] std::string TimeOfDayText(TimeOfDay time);

// The platform and the product of a User-Agent value: "Windows NT 6.1 (Opera/9.80)". The product
// is what comes before the first "(", the platform what follows it up to the next ";"; either is
// empty when its delimiter is missing, and both lose the blanks at their ends.
[[nodiscard]] std::string DeviceTypeText(std::string_view agent);

// A counter cell's number: leading blanks and tabs skipped, an optional sign, then the digits up
// to the first other character; 0 without digits. Saturates at the ends of the 64-bit range.
[[nodiscard]] std::int64_t ReadLogNumber(std::string_view cell);

// Logs one request, the last step of every handler, whatever its route and whether it was
// allowed: updates every row of `peerAddress` or appends one. The whole find-update-or-append
// runs under the log's own lock, so concurrent requests lose no count and one address gets one
// row; a new row's reverse lookup is made before, with no lock held. Bytes of `userAgent` are
// ISO-8859-1 and are shown as they are.
void LogClientRequest(Ui& ui, Network& network, std::uint32_t peerAddress, std::string_view userAgent,
                      std::chrono::steady_clock::time_point startTick,
                      const ClientLogClock& clock = SystemClientLogClock());

}  // namespace tv
