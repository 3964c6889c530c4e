#include "update/update_checker.h"

#include <algorithm>
#include <span>

#include "app/texts.h"
#include "update/manifest.h"

namespace tv {
namespace {

constexpr std::string_view kUpdatePath = "/update.php?p=Tastovolant";
constexpr std::string_view kDownloadPath = "/software.php?name=Tastovolant";
constexpr std::string_view kUpdater = "Update.exe";
constexpr std::string_view kUpdaterParameters = "da";

// "Es sind Updates verfügbar.\nWollen Sie Tastovolant beenden und ein Update auf Version " + version + " ausführen?"
std::string UpdatePromptText(std::string_view version) {
  return "Es sind Updates verf\374gbar.\nWollen Sie Tastovolant beenden und ein Update auf Version " +
         std::string(version) + " ausf\374hren?";
}

std::string DownloadPromptText(std::string_view version) {
  return "Wollen Sie Tastovolant Version " + std::string(version) + " downloaden?";
}

bool FileDiffers(FileDigest& files, const ManifestEntry& entry) {
  if (files.FileSize(entry.file) < 0) return true;
  return files.Md5OfFile(entry.file) != entry.digest;
}

}  // namespace

void CheckForUpdates(const UpdatePorts& ports, std::string_view siteAddress, const FetchOptions& options) {
  if (siteAddress.empty()) return;
  Manifest manifest;
  {
    FetchResult request;
    request.url = std::string(siteAddress) + std::string(kUpdatePath);
    request.status = -1;
    const std::optional<FetchResult> answer = FetchUrl(ports.connector, request, options);
    if (!answer || answer->status != 200) return;
    const std::size_t length = static_cast<std::size_t>(
        std::clamp<std::int64_t>(answer->size, 0, static_cast<std::int64_t>(answer->data.size())));
    manifest = ParseManifest(ManifestText(std::span(answer->data).first(length)));
  }
  if (!AnswerIsOk(manifest.answer)) return;

  const bool anyDiffers = std::ranges::any_of(
      manifest.entries, [&](const ManifestEntry& entry) { return FileDiffers(ports.files, entry); });
  if (!anyDiffers) return;

  if (ports.files.FileSize(kUpdater) > 0) {
    const MessageAnswer answer = ports.ui.ShowMessage(texts::kProgramTitle, UpdatePromptText(manifest.version),
                                                      MessageIcon::Question, MessageButtons::YesNo);
    // The updater runs beside the program; whether it ends the program is its own matter.
    if (answer == MessageAnswer::Yes) (void)ports.shell.StartProgram(kUpdater, kUpdaterParameters);
    return;
  }
  const MessageAnswer answer = ports.ui.ShowMessage(texts::kProgramTitle, DownloadPromptText(manifest.version),
                                                    MessageIcon::Information, MessageButtons::YesNo);
  if (answer == MessageAnswer::Yes) {
    ports.shell.OpenAddress(std::string(siteAddress) + std::string(kDownloadPath));
    ports.ui.RequestEnd(0);
  }
}

void UpdateChecker(UpdatePorts ports, std::string siteAddress) { CheckForUpdates(ports, siteAddress); }

}  // namespace tv
