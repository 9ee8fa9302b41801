#include "station/DdeItems.h"

#include "onewire/DS2450.h"

void SetDDEText(platform::TDdeServerItem* item, const std::string& text) {
    if (item != nullptr && item->Text() != text) item->SetText(text);
}

platform::TDdeServerItem* DDEItemAt(const std::vector<platform::TDdeServerItem*>& items, size_t index) {
    return index < items.size() ? items[index] : nullptr;
}

std::string MakeDDEItemName(const DS2450& sensor) {
    return "DDE" + DS2450::RomToHex(sensor.Rom);
}
