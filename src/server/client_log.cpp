#include "server/client_log.h"

#include <ctime>
#include <limits>
#include <mutex>
#include <optional>

#include "access_editor/address_list.h"
#include "app/texts.h"

namespace tv {

namespace {

[[nodiscard]] std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

[[nodiscard]] std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) {
    return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
  }
  return sum;
}

[[nodiscard]] std::int64_t ElapsedMs(std::chrono::steady_clock::time_point startTick, const ClientLogClock& clock) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - startTick).count();
}

// Brings every row of `address` up to date; whether there was one. With the log's lock held.
bool UpdateRowsOf(ClientLogRows& rows, const std::string& address, const std::string& deviceType,
                  std::chrono::steady_clock::time_point startTick, const ClientLogClock& clock) {
  bool found = false;
  for (ClientLogRow& row : rows) {
    if (row[kLogAddressColumn] != address) continue;
    found = true;
    row[kLogTimeColumn] = TimeOfDayText(clock.timeOfDay());
    row[kLogAddressColumn] = address;
    row[kLogDeviceTypeColumn] = deviceType;
    row[kLogRequestsColumn] = std::to_string(SaturatingAdd(ReadLogNumber(row[kLogRequestsColumn]), 1));
    row[kLogDurationColumn] =
        std::to_string(SaturatingAdd(ReadLogNumber(row[kLogDurationColumn]), ElapsedMs(startTick, clock)));
  }
  return found;
}

}  // namespace

ClientLogClock SystemClientLogClock() {
  return {[] { return std::chrono::steady_clock::now(); },
          [] {
            // std::localtime hands out one shared record; the handlers take turns with it.
            static std::mutex lock;
            const std::time_t now = std::time(nullptr);
            std::lock_guard guard(lock);
            const std::tm* local = std::localtime(&now);
            return local ? TimeOfDay{local->tm_hour, local->tm_min, local->tm_sec} : TimeOfDay{};
          }};
}

std::string TimeOfDayText(TimeOfDay time) {
  std::string text;
  for (int part : {time.hours, time.minutes, time.seconds}) {
    if (!text.empty()) text += ':';
    if (part < 10) text += '0';
    text += std::to_string(part);
  }
  return text;
}

std::string DeviceTypeText(std::string_view agent) {
  const std::size_t open = agent.find('(');
  const std::string_view product = open == std::string_view::npos ? std::string_view{} : agent.substr(0, open);
  const std::string_view rest = open == std::string_view::npos ? agent : agent.substr(open + 1);
  const std::size_t semicolon = rest.find(';');
  const std::string_view platform =
      semicolon == std::string_view::npos ? std::string_view{} : rest.substr(0, semicolon);
  std::string text(TrimBlanks(platform));
  text += " (";
  text += TrimBlanks(product);
  text += ')';
  return text;
}

std::int64_t ReadLogNumber(std::string_view cell) {
  std::size_t at = 0;
  while (at < cell.size() && (cell[at] == ' ' || cell[at] == '\t')) ++at;
  bool negative = false;
  if (at < cell.size() && (cell[at] == '+' || cell[at] == '-')) negative = cell[at++] == '-';
  std::int64_t value = 0;
  for (; at < cell.size() && cell[at] >= '0' && cell[at] <= '9'; ++at) {
    const int digit = cell[at] - '0';
    // Built up on the side of the sign, so that the most negative number is reached too.
    if (__builtin_mul_overflow(value, 10, &value) || __builtin_add_overflow(value, negative ? -digit : digit, &value)) {
      return negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    }
  }
  return value;
}

void LogClientRequest(Ui& ui, Network& network, std::uint32_t peerAddress, std::string_view userAgent,
                      std::chrono::steady_clock::time_point startTick, const ClientLogClock& clock) {
  const std::string address = DottedAddress(peerAddress);
  const std::string deviceType = DeviceTypeText(userAgent);
  bool logged = false;
  ui.EditClientLog([&](ClientLogRows& rows) { logged = UpdateRowsOf(rows, address, deviceType, startTick, clock); });
  if (logged) return;

  // The lookup may wait on the network: made with no lock held, and only for an address the log
  // did not know a moment ago.
  const std::string deviceName = network.ReverseLookup(peerAddress).value_or(std::string(texts::kUnknownHostName));
  ui.EditClientLog([&](ClientLogRows& rows) {
    // Another request from the same address may have made the row meanwhile.
    if (UpdateRowsOf(rows, address, deviceType, startTick, clock)) return;
    rows.push_back({TimeOfDayText(clock.timeOfDay()), address, deviceName, deviceType, "1",
                    std::to_string(ElapsedMs(startTick, clock))});
  });
}

}  // namespace tv
