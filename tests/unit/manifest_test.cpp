#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/manifest.h"

namespace tv {
namespace {

using namespace std::string_literals;

TEST(TakeFront, TakesTheTextBeforeTheFirstBarOrNothingWithoutOne) {
  struct Case {
    std::string text, part, remaining;
  };
  const std::vector<Case> cases = {
      {"ok|1.0|rest", "ok", "1.0|rest"},
      {"|x", "", "x"},
      {"||x", "", "|x"},
      {"no bar", "", "no bar"},  // what remains stays as it was
      {"", "", ""},
      {"end|", "end", ""},
  };
  for (const Case& c : cases) {
    std::string remaining = c.text;
    EXPECT_EQ(TakeFront(remaining), c.part) << c.text;
    EXPECT_EQ(remaining, c.remaining) << c.text;
  }
}

TEST(ParseManifest, CutsAnswerVersionAndOneEntryPerDoubleBar) {
  struct Case {
    std::string name;
    std::string text;
    std::string answer, version;
    std::vector<std::pair<std::string, std::string>> entries;  // file, digest
  };
  const std::vector<Case> cases = {
      {"two entries",
       "ok|2.1.0|a.dll|12|aaa||sub/b.txt|34|bbb||",
       "ok",
       "2.1.0",
       {{"a.dll", "aaa"}, {"sub/b.txt", "bbb"}}},
      {"text after the last double bar is ignored", "ok|2|a|1|aaa||b|2|bbb", "ok", "2", {{"a", "aaa"}}},
      {"no double bar, no entries", "ok|2|a|1|aaa", "ok", "2", {}},
      {"fields past the third are ignored", "ok|2|a|1|aaa|extra|more||", "ok", "2", {{"a", "aaa"}}},
      {"missing fields read as empty", "ok|2|a||only|x||", "ok", "2", {{"a", ""}, {"only", ""}}},
      {"names are not trimmed", "ok|2| a |1| aaa||\r\nb|1|bbb||", "ok", "2", {{" a ", " aaa"}, {"\r\nb", "bbb"}}},
      {"a triple bar starts the next entry with a bar",
       "ok|2|a|1|aaa|||b|2|bbb||",
       "ok",
       "2",
       {{"a", "aaa"}, {"", "2"}}},
      {"an empty entry", "ok|2|||", "ok", "2", {{"", ""}}},
      {"the version's bar may be the first of a double bar", "ok|2||", "ok", "2", {}},
      {"an entry counts its fields from its own start", "ok|a|1|x||", "ok", "a", {{"1", ""}}},
      {"no bar after the version: no version", "ok|v", "ok", "", {}},
      {"no bar at all: no answer word", "ok", "", "", {}},
      {"nothing", "", "", "", {}},
  };
  for (const Case& c : cases) {
    const Manifest manifest = ParseManifest(c.text);
    EXPECT_EQ(manifest.answer, c.answer) << c.name;
    EXPECT_EQ(manifest.version, c.version) << c.name;
    std::vector<std::pair<std::string, std::string>> entries;
    for (const ManifestEntry& entry : manifest.entries) entries.emplace_back(entry.file, entry.digest);
    EXPECT_EQ(entries, c.entries) << c.name;
  }
}

TEST(AnswerIsOk, IgnoresLetterCaseAndSpacesOnly) {
  struct Case {
    std::string answer;
    bool ok;
  };
  const std::vector<Case> cases = {
      {"ok", true},    {"OK", true},   {"oK", true},    {"ok ", true}, {"  ok  ", true}, {"ok\n", false},
      {"\tok", false}, {"o k", false}, {"okay", false}, {"", false},   {"no", false},
  };
  for (const Case& c : cases) EXPECT_EQ(AnswerIsOk(c.answer), c.ok) << '"' << c.answer << '"';
}

TEST(ManifestText, EndsAtTheFirstNul) {
  const std::string body = "ok|2|a\0b|x||"s;
  const std::vector<unsigned char> bytes(body.begin(), body.end());
  EXPECT_EQ(ManifestText(bytes), "ok|2|a");
  const std::vector<unsigned char> plain = {'o', 'k', '|'};
  EXPECT_EQ(ManifestText(plain), "ok|");
  EXPECT_EQ(ManifestText({}), "");
}

}  // namespace
}  // namespace tv
