// Reading a request head from a connection that delivers the input in chunks, then taking the
// head apart.
//
// Input: one byte for the chunk size (bits 0-6) and whether receives stutter (bit 7), one for the
// head's size bound, then the client's bytes.
#include <algorithm>
#include <cstring>

#include "fuzz/fuzz_target.h"
#include "server/request_intake.h"
#include "server/routes.h"

namespace tv::fuzz {
namespace {

// One connection whose bytes arrive a chunk at a time: a chunk comes with each wait, and once all
// are taken the client has closed. With `stutter`, every so many receives find nothing although a
// peek has just seen the bytes, as Wine's sockets do at times under load. Notes how the reader
// uses it.
class ChunkedConnection final : public Network {
 public:
  ChunkedConnection(std::string_view bytes, std::size_t chunk, int stutter)
      : bytes_(bytes), chunk_(chunk), stutter_(stutter) {
    arrived_ = std::min(chunk_, bytes_.size());
  }

  [[nodiscard]] std::size_t Consumed() const { return consumed_; }
  bool peekedNothing = false;   // the latest peek found nothing
  bool spun = false;            // peeked again after finding nothing, without waiting
  bool waitedWithData = false;  // waited while bytes were there to read
  bool emptyBuffer = false;     // asked for bytes with no room for them

  int Peek(ClientId, std::span<unsigned char> buffer) override {
    if (peekedNothing) spun = true;
    return Take(buffer, false);
  }
  int Receive(ClientId, std::span<unsigned char> buffer) override {
    peekedNothing = false;
    stuttered_ = stutter_ > 0 && ++receives_ % stutter_ == 0 && arrived_ > consumed_;
    return stuttered_ ? 0 : Take(buffer, true);
  }
  void WaitReadable(ClientId, int) override {
    if (arrived_ > consumed_ && !stuttered_) waitedWithData = true;
    stuttered_ = false;
    peekedNothing = false;
    arrived_ = std::min(arrived_ + chunk_, bytes_.size());
  }

  void StartSockets() override {}
  void CleanupSockets() override {}
  bool CreateServer(int) override { return false; }
  void CloseServer() override {}
  int ServerPort() override { return 0; }
  ServerEvent PollServer() override { return ServerEvent::Nothing; }
  ClientId EventClient() override { return 0; }
  void CloseClient(ClientId) override {}
  int Send(ClientId, std::span<const unsigned char>) override { return -1; }
  std::uint32_t PeerAddress(ClientId) override { return 0; }
  std::string HostName() override { return {}; }
  std::optional<std::string> ReverseLookup(std::uint32_t) override { return std::nullopt; }

 private:
  int Take(std::span<unsigned char> buffer, bool consume) {
    if (buffer.empty()) emptyBuffer = true;
    const std::size_t waiting = arrived_ - consumed_;
    if (waiting == 0) {
      if (arrived_ == bytes_.size()) return -1;
      if (!consume) peekedNothing = true;
      return 0;
    }
    const std::size_t count = std::min(buffer.size(), waiting);
    std::memcpy(buffer.data(), bytes_.data() + consumed_, count);
    if (consume) consumed_ += count;
    return static_cast<int>(count);
  }

  std::string_view bytes_;
  std::size_t chunk_;
  int stutter_;
  int receives_ = 0;
  bool stuttered_ = false;
  std::size_t arrived_ = 0;
  std::size_t consumed_ = 0;
};

struct ExpectedHead {
  HeadEnd end = HeadEnd::Failed;
  std::string head;
  std::size_t consumed = 0;
};

// What the whole stream, read at once, gives: the head ends at the first blank line or at the
// bound, NUL bytes left out; without either the client closed first.
ExpectedHead HeadOfStream(std::string_view bytes, std::size_t maxBytes) {
  ExpectedHead expected;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\0') expected.head.push_back(bytes[i]);
    expected.consumed = i + 1;
    if (expected.head.ends_with("\r\n\r\n")) {
      expected.end = HeadEnd::Complete;
      return expected;
    }
    if (expected.head.size() >= maxBytes) {
      expected.end = HeadEnd::TooLong;
      return expected;
    }
  }
  expected.consumed = bytes.size();
  return expected;
}

bool IsSubstring(std::string_view part, std::string_view whole) { return whole.find(part) != std::string_view::npos; }

}  // namespace

std::string RequestHeadInput(Input input) {
  InputReader reader(input);
  const std::uint8_t delivery = reader.Byte();
  const std::size_t chunk = 1 + (delivery & 0x7F) % 97;
  const int stutter = delivery & 0x80 ? 2 + (delivery & 0x7F) % 3 : 0;
  const std::uint8_t bound = reader.Byte();
  HeadLimits limits;
  if (bound != 0) limits.maxBytes = bound * 8u;
  const std::string_view bytes = reader.Rest();

  Findings findings;
  ChunkedConnection connection(bytes, chunk, stutter);
  std::string head;
  const HeadEnd end = ReadRequestHead(connection, 1, head, limits);
  const ExpectedHead expected = HeadOfStream(bytes, limits.maxBytes);
  findings.Check(end == expected.end, "the head ends as the whole stream says");
  findings.Check(head == expected.head, "the head holds the stream's bytes up to its end, without NULs");
  findings.Check(connection.Consumed() == expected.consumed, "exactly the head's bytes are taken off the connection");
  findings.Check(head.size() <= limits.maxBytes, "the head stays within its bound");
  findings.Check(!connection.spun, "after finding nothing the reader waits before it looks again");
  findings.Check(!connection.waitedWithData, "the reader never waits while bytes are waiting");
  findings.Check(!connection.emptyBuffer, "the reader never asks for bytes without room for them");

  RequestContext request;
  request.head = head;
  ParseRequest(request);
  findings.Check(request.requestLine == head.substr(0, head.find('\r')), "the request line is the head's first line");
  findings.Check(request.requestLine.starts_with(request.method) && !IsSubstring(" ", request.method),
                 "the method is the request line's first word");
  if (!request.target.empty()) {
    const std::string_view afterMethod = std::string_view(request.requestLine).substr(request.method.size() + 1);
    findings.Check(afterMethod.starts_with(request.target), "the target follows the method and one character");
    findings.Check(AsciiLowered(afterMethod.substr(request.target.size())).starts_with(" http"),
                   "the target ends before \" HTTP\"");
  }
  findings.Check(request.path == AsciiLowered(request.target.substr(0, request.target.find('?'))),
                 "the path is the target before its query, lowercased");
  const std::string query = QueryOf(request.target);
  findings.Check(!IsSubstring("?", query) && query == AsciiLowered(query), "the query is lowercased, without '?'");
  const std::string& agent = request.userAgent;
  findings.Check(IsSubstring(agent, head), "the user agent comes from the head");
  findings.Check(!agent.starts_with(' ') && !agent.ends_with(' ') && !IsSubstring("\r\n", agent),
                 "the user agent is one line without blanks at its ends");

  if (const std::optional<std::string> name = SafeFileName(request.target)) {
    CheckAcceptedFileName(findings, request.target, *name);
  }
  return findings.First();
}

}  // namespace tv::fuzz
