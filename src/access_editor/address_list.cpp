#include "access_editor/address_list.h"

#include <memory>
#include <mutex>

#include "access_editor/address_pane.h"
#include "access_editor/address_row.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "app/texts.h"

namespace tv {

namespace {

// AddressListLock stays held during the lookup and while the box is open: the scroller and the
// handlers' list test wait meanwhile.
void ShowAddressInfo(Ui& ui, Network& network, const AddressRow& row, int number) {
  const std::uint32_t address = ui.AddressValue(row.addressField);
  const std::string name = network.ReverseLookup(address).value_or(std::string(texts::kUnknownHostName));
  const std::string title = std::string(texts::kAddressInfoTitle) + std::to_string(number);
  const std::string text = std::string(texts::kAddressInfoAddress) + DottedAddress(address) +
                           std::string(texts::kAddressInfoHostName) + name;
  ui.ShowMessage(title, text, MessageIcon::None, MessageButtons::Ok);
}

// With AddressListLock held; `rows` counts the row itself.
void RemoveAddressRow(Ui& ui, AddressRow* row, int rows) {
  AddressRow* const following = row->next;
  if (following) following->prev = row->prev;
  if (row->prev) row->prev->next = following;
  const int removedTop = ui.ControlTop(row->addressField);
  for (int control : {row->addressField, row->infoButton, row->removeButton}) ui.DestroyControl(control);
  if (AddressRowList.load() == row) AddressRowList.store(following);
  delete row;
  LayOutAfterRemoval(ui, following, rows - 1, removedTop);
}

[[nodiscard]] int CreateRowControl(Ui& ui, ControlKind kind, Rect rect, std::shared_ptr<const Image> picture) {
  ControlPlan plan;
  plan.kind = kind;
  plan.number = kAutoNumber;
  plan.rect = rect;
  plan.picture = std::move(picture);
  return ui.CreateControl(kAddressListPane, plan);
}

}  // namespace

std::string DottedAddress(std::uint32_t address) {
  std::string text;
  for (int octet = 0; octet < 4; ++octet) {
    if (octet > 0) text += '.';
    text += std::to_string((address >> (8 * octet)) & 0xFFu);
  }
  return text;
}

void ScanAddressRows(Ui& ui, Network& network, int control) {
  std::lock_guard guard(AddressListLock());
  const int rows = CountAddressRows();
  int number = 1;
  for (AddressRow* row = AddressRowList.load(); row; row = row->next, ++number) {
    if (control == row->infoButton) ShowAddressInfo(ui, network, *row, number);
    if (control == row->removeButton) {
      RemoveAddressRow(ui, row, rows);
      break;
    }
  }
}

void AddAddressRow(Ui& ui, const ImageTable& images) {
  std::lock_guard guard(AddressListLock());
  int rows = 0;
  AddressRow* last = nullptr;
  for (AddressRow* row = AddressRowList.load(); row; row = row->next) {
    ++rows;
    last = row;
  }
  // Only the bottom row is tested; rows above it may have been emptied since.
  if (last && ui.AddressValue(last->addressField) == 0) {
    ui.ShowMessage(texts::kProgramTitle, texts::kAddressRowStillEmpty, MessageIcon::Information, MessageButtons::Ok);
    return;
  }

  auto row = std::make_unique<AddressRow>();
  row->prev = last;
  const int top = last ? ui.ControlTop(last->addressField) + kAddressLineHeight : 0;
  row->addressField = CreateRowControl(ui, ControlKind::AddressField,
                                       {kAddressFieldX, top, kAddressFieldWidth, kAddressLineHeight}, nullptr);
  row->infoButton =
      CreateRowControl(ui, ControlKind::ImageButton, {kInfoButtonX, top, kRowButtonWidth, kAddressLineHeight},
                       images.Get(kInfoIconImage));
  row->removeButton =
      CreateRowControl(ui, ControlKind::ImageButton, {kRemoveButtonX, top, kRowButtonWidth, kAddressLineHeight},
                       images.Get(kRemoveIconImage));
  if (!row->addressField || !row->infoButton || !row->removeButton) {
    // A row without all its controls could never be filled in or removed, and an empty bottom
    // row would refuse every later addition: leave the list as it was.
    for (int control : {row->addressField, row->infoButton, row->removeButton}) {
      if (control) ui.DestroyControl(control);
    }
    return;
  }
  LayOutAfterAddition(ui, *row, rows + 1);
  if (last) {
    last->next = row.release();
  } else {
    AddressRowList.store(row.release());
  }
}

}  // namespace tv
