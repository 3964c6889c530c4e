#include "update/fetch_client.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <span>
#include <thread>

namespace tv {
namespace {

constexpr std::string_view kUserAgent = "Zorvane Updater (Tastovolant)";
constexpr std::string_view kHeadEnd = "\r\n\r\n";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Where `marker` first occurs in `text` from `from` on, ignoring letter case (ASCII letters only).
std::size_t FindIgnoringCase(std::string_view text, std::string_view marker, std::size_t from) {
  if (from > text.size()) return std::string_view::npos;
  const auto found = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), marker.begin(),
                                 marker.end(), [](char a, char b) { return Lower(a) == Lower(b); });
  if (found == text.end() && !marker.empty()) return std::string_view::npos;
  return static_cast<std::size_t>(found - text.begin());
}

enum class AttemptEnd {
  Answer,    // the record holds a complete answer
  Over,      // the next attempt, if any is left
  Redirect,  // the next attempt goes to the redirect's address
  Failed,    // the fetch gives up at once
};

// Reads one attempt's answer from its connection. Both idle counts start from 0 with every
// attempt: a wait that ran out must not make the next attempt give up at its first idle poll.
class AnswerReader {
 public:
  AnswerReader(TcpConnection& connection, const std::function<void(int)>& pause)
      : connection_(connection), pause_(pause) {}

  AttemptEnd Read(FetchResult& record, std::string& address) {
    for (;;) {
      if (!connection_.DataWaiting()) {
        if (Idle(waitIdle_)) return AttemptEnd::Over;
        continue;
      }
      std::string head;
      const HeadEnd headEnd = ReadHead(head);
      if (headEnd == HeadEnd::TooLong) return AttemptEnd::Failed;
      if (headEnd == HeadEnd::Incomplete) {
        waitIdle_ = 0;
        continue;
      }

      const std::int64_t status = StatusOfHead(head);
      if (status == 302) {
        // A lone CR or LF ends the line for many servers: nothing after it may reach the next request.
        const std::string location = TextBetween(head, "Location:", "\r\n");
        address = std::string(TrimSpaces(std::string_view(location).substr(0, location.find_first_of("\r\n"))));
        return AttemptEnd::Redirect;
      }
      record.status = static_cast<std::int32_t>(status);
      record.url = address;
      if (record.size == 0) record.size = ReadDecimal(TrimSpaces(TextBetween(head, "Content-Length: ", "\r\n")));
      const bool declared = record.size >= 1;
      if (!declared) record.size = kFetchBufferStep;
      if (record.size > kFetchBodyLimit) return AttemptEnd::Failed;
      // After a short body the same connection may bring the rest as a second answer: it goes on
      // from where the first stopped, in the same buffer.
      if (record.data.empty()) record.data.assign(static_cast<std::size_t>(record.size), 0);

      const BodyEnd bodyEnd = ReadBody(record, declared);
      if (bodyEnd == BodyEnd::Complete) return AttemptEnd::Answer;
      if (bodyEnd == BodyEnd::TooLong) return AttemptEnd::Failed;
      waitIdle_ = 0;
    }
  }

 private:
  enum class HeadEnd { Complete, Incomplete, TooLong };
  enum class BodyEnd { Complete, Short, TooLong };

  // One idle poll: counts it and pauses; true once the limit is reached.
  bool Idle(int& count) {
    ++count;
    pause_(kFetchPauseMs);
    return count >= kFetchIdleLimit;
  }

  HeadEnd ReadHead(std::string& head) {
    for (;;) {
      unsigned char byte = 0;
      const int got = connection_.Receive(std::span(&byte, 1));
      if (got < 0) return HeadEnd::Incomplete;
      if (got == 0) {
        if (Idle(readIdle_)) return HeadEnd::Incomplete;
        continue;
      }
      if (byte != 0) {
        head.push_back(static_cast<char>(byte));
        if (head.size() > kFetchHeadLimit) return HeadEnd::TooLong;
      }
      if (byte == '\n' && head.ends_with(kHeadEnd)) return HeadEnd::Complete;
      readIdle_ = 0;
    }
  }

  BodyEnd ReadBody(FetchResult& record, bool declared) {
    readIdle_ = 0;
    for (;;) {
      const int got = connection_.Receive(std::span(record.data).subspan(static_cast<std::size_t>(record.received), 1));
      if (got > 0) {
        ++record.received;
        if (record.received > kFetchBodyLimit) return BodyEnd::TooLong;
        if (!declared && record.received == record.size) {
          record.size += kFetchBufferStep;
          record.data.resize(static_cast<std::size_t>(record.size), 0);
        }
        if (record.received >= record.size) {
          record.received = record.size;
          return BodyEnd::Complete;
        }
        readIdle_ = 0;
        continue;
      }
      if (got < 0) {
        // Without a declared length the size stays the buffer's capacity; the bytes from
        // `received` on are zero.
        return declared ? BodyEnd::Short : BodyEnd::Complete;
      }
      if (Idle(readIdle_)) {
        if (declared) return BodyEnd::Short;
        record.size = record.received;
        return BodyEnd::Complete;
      }
    }
  }

  TcpConnection& connection_;
  const std::function<void(int)>& pause_;
  int waitIdle_ = 0;
  int readIdle_ = 0;
};

void Sleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

}  // namespace

std::string TextBetween(std::string_view text, std::string_view start, std::string_view end) {
  const std::size_t startAt = FindIgnoringCase(text, start, 0);
  if (startAt == std::string_view::npos) return {};
  const std::size_t endAt = FindIgnoringCase(text, end, startAt + 1);
  if (endAt == std::string_view::npos) return {};
  const std::size_t from = startAt + start.size();
  if (endAt < from) return {};
  return std::string(text.substr(from, endAt - from));
}

FetchTarget TargetOf(std::string_view address) {
  constexpr std::string_view kScheme = "http://";
  if (address.size() >= kScheme.size() && FindIgnoringCase(address.substr(0, kScheme.size()), kScheme, 0) == 0) {
    address.remove_prefix(kScheme.size());
  }
  if (address.ends_with('/')) address.remove_suffix(1);
  const std::size_t slash = address.find('/');
  FetchTarget target;
  target.address = address;
  target.host = address.substr(0, slash);
  target.path = slash == std::string_view::npos ? "/" : address.substr(slash);
  return target;
}

std::string RequestFor(const FetchTarget& target) {
  std::string request = "GET " + target.path + " HTTP/1.1\r\n";
  request += "Host: " + target.host + "\r\n";
  request += "User-Agent: " + std::string(kUserAgent) + "\r\n";
  request += "\r\n";
  return request;
}

std::int64_t ReadDecimal(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;
  bool saturated = false;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    const int digit = text[at] - '0';
    if (value > (kMost - digit) / 10) {
      saturated = true;
      continue;
    }
    value = value * 10 + digit;
  }
  if (saturated) return negative ? std::numeric_limits<std::int64_t>::min() : kMost;
  return negative ? -value : value;
}

std::int64_t StatusOfHead(std::string_view head) {
  const std::size_t firstSpace = head.find(' ');
  if (firstSpace == std::string_view::npos) return 0;
  const std::string_view rest = head.substr(firstSpace + 1);
  return ReadDecimal(rest.substr(0, rest.find(' ')));
}

std::string_view TrimSpaces(std::string_view text) {
  while (text.starts_with(' ')) text.remove_prefix(1);
  while (text.ends_with(' ')) text.remove_suffix(1);
  return text;
}

std::optional<FetchResult> FetchUrl(TcpConnector& connector, const FetchResult& request, const FetchOptions& options) {
  const std::function<void(int)> pause = options.pause ? options.pause : Sleep;
  std::string address = request.url;
  for (int attempt = 1; attempt <= kFetchAttempts; ++attempt) {
    const FetchTarget target = TargetOf(address);
    address = target.address;
    // Closed whenever this attempt ends, however it ends.
    const std::unique_ptr<TcpConnection> connection = connector.Connect(target.host, options.port);
    if (!connection) continue;
    const std::string text = RequestFor(target);
    if (connection->Send(std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size())) <= 0) continue;

    // What an earlier attempt received belongs to another answer: each one starts from the
    // record as passed in.
    FetchResult record = request;
    record.data.clear();
    record.received = 0;
    AnswerReader reader(*connection, pause);
    switch (reader.Read(record, address)) {
      case AttemptEnd::Answer:
        return record;
      case AttemptEnd::Failed:
        return std::nullopt;
      case AttemptEnd::Over:
      case AttemptEnd::Redirect:
        break;
    }
  }
  return std::nullopt;
}

}  // namespace tv
