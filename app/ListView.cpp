#include "app/ListView.h"

namespace app {

TListItem& TListItems::Add() {
    FItems.emplace_back();
    if (OnChange)
        OnChange();
    return FItems.back();
}

void TListItems::Clear() {
    FItems.clear();
    if (OnChange)
        OnChange();
}

void TListItems::Delete(int index) {
    if (index < 0 || index >= Count())
        return;
    FItems.erase(FItems.begin() + index);
    if (OnChange)
        OnChange();
}

}  // namespace app
