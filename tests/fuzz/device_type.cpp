// The device type the client log shows for a User-Agent value.
//
// Input: the value.
#include "fuzz/fuzz_target.h"
#include "server/client_log.h"

namespace tv::fuzz {
namespace {

std::string_view Trimmed(std::string_view text) {
  while (text.starts_with(' ')) text.remove_prefix(1);
  while (text.ends_with(' ')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string DeviceTypeInput(Input input) {
  const std::string_view agent(reinterpret_cast<const char*>(input.data()), input.size());
  const std::string text = DeviceTypeText(agent);

  Findings findings;
  // "platform (product)": the product holds no "(", so the last one opens it.
  const std::size_t open = text.rfind('(');
  findings.Check(open != std::string::npos && open >= 1 && text[open - 1] == ' ' && text.ends_with(')'),
                 "the text is \"platform (product)\"");
  if (!findings.First().empty()) return findings.First();
  const std::string_view platform = std::string_view(text).substr(0, open - 1);
  const std::string_view product = std::string_view(text).substr(open + 1, text.size() - open - 2);

  const std::size_t agentOpen = agent.find('(');
  const std::string_view expectedProduct =
      agentOpen == std::string_view::npos ? std::string_view{} : Trimmed(agent.substr(0, agentOpen));
  findings.Check(product == expectedProduct, "the product is what comes before the first \"(\", trimmed");
  const std::string_view afterOpen = agentOpen == std::string_view::npos ? agent : agent.substr(agentOpen + 1);
  const std::size_t semicolon = afterOpen.find(';');
  const std::string_view expectedPlatform =
      semicolon == std::string_view::npos ? std::string_view{} : Trimmed(afterOpen.substr(0, semicolon));
  findings.Check(platform == expectedPlatform, "the platform is what follows the \"(\" up to the next \";\", trimmed");
  findings.Check(text.size() <= agent.size() + 3, "the text is never longer than the value and its marks");
  return findings.First();
}

}  // namespace tv::fuzz
