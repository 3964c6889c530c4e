// The marker search of the fetch client, against a plain search of lowercased copies.
//
// Input: the start marker's length (a byte, up to 15), the end marker's length (likewise), the
// two markers, then the text.
#include "fuzz/fuzz_target.h"
#include "update/fetch_client.h"

namespace tv::fuzz {

std::string TextBetweenInput(Input input) {
  InputReader reader(input);
  const std::size_t startLength = reader.Byte() % 16;
  const std::size_t endLength = reader.Byte() % 16;
  const std::string_view start = reader.Bytes(startLength);
  const std::string_view end = reader.Bytes(endLength);
  const std::string_view text = reader.Rest();

  const std::string lowerText = AsciiLowered(text), lowerStart = AsciiLowered(start), lowerEnd = AsciiLowered(end);
  std::string expected;
  const std::size_t startAt = lowerText.find(lowerStart);
  if (startAt != std::string::npos) {
    const std::size_t endAt = lowerText.find(lowerEnd, startAt + 1);
    const std::size_t from = startAt + start.size();
    if (endAt != std::string::npos && endAt >= from) expected = text.substr(from, endAt - from);
  }

  Findings findings;
  findings.Check(TextBetween(text, start, end) == expected, "the text between the markers, found ignoring case");
  return findings.First();
}

}  // namespace tv::fuzz
