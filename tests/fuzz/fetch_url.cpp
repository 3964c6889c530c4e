// The update fetch against a scripted server whose answers come from the input.
//
// Input: up to ten connections, each a control byte (bit 0: refused, bit 1: sending fails, bit 2:
// closed after its pieces, bits 3-7: the number of pieces), then per piece a byte of silent polls
// before it, a byte of length and that many bytes.
#include <algorithm>

#include "fakes/fake_update_ports.h"
#include "fuzz/fuzz_target.h"
#include "update/fetch_client.h"

namespace tv::fuzz {
namespace {

// Each request line ends in CR LF and holds no other CR or LF.
bool IsFourLines(std::string_view request) {
  int lines = 0;
  for (std::size_t at = 0; at < request.size(); ++at) {
    if (request[at] == '\n') return false;
    if (request[at] != '\r') continue;
    if (at + 1 >= request.size() || request[at + 1] != '\n') return false;
    ++lines;
    ++at;
  }
  return lines == 4 && request.ends_with("\r\n\r\n");
}

}  // namespace

std::string FetchUrlInput(Input input) {
  InputReader reader(input);
  fakes::ScriptedConnector connector;
  for (int connection = 0; connection < kFetchAttempts && !reader.Empty(); ++connection) {
    const std::uint8_t control = reader.Byte();
    fakes::ConnectionScript script;
    script.refused = control & 1;
    script.sendFails = control & 2;
    script.closedAtEnd = control & 4;
    for (int piece = 0; piece < control >> 3 && !reader.Empty(); ++piece) {
      const int silentPolls = reader.Byte();
      const std::size_t length = reader.Byte();
      script.pieces.push_back({silentPolls, std::string(reader.Bytes(length))});
    }
    connector.scripts.push_back(std::move(script));
  }

  FetchResult request;
  request.url = "http://update.test/update.php?p=Tastovolant";
  FetchOptions options;
  long long pauses = 0;
  options.pause = [&pauses](int) { ++pauses; };
  const std::optional<FetchResult> result = FetchUrl(connector, request, options);

  Findings findings;
  findings.Check(connector.log.hosts.size() <= static_cast<std::size_t>(kFetchAttempts), "at most ten attempts");
  findings.Check(connector.log.opened == connector.log.closed, "every connection is closed on return");
  for (const std::string& sent : connector.log.requests) {
    findings.Check(sent.empty() || IsFourLines(sent), "every request is four lines ended by CR LF");
  }
  if (result) {
    findings.Check(result->status != 302, "a redirect is followed, never returned");
    findings.Check(0 <= result->received && result->received <= result->size &&
                       result->size <= static_cast<std::int64_t>(result->data.size()),
                   "received <= size <= the buffer");
    findings.Check(result->data.size() <= static_cast<std::size_t>(kFetchBodyLimit + kFetchBufferStep),
                   "the body stays within its bound");
    findings.Check(std::all_of(result->data.begin() + static_cast<std::ptrdiff_t>(result->received), result->data.end(),
                               [](unsigned char byte) { return byte == 0; }),
                   "the body is zero beyond what was received");
  }
  return findings.First();
}

}  // namespace tv::fuzz
