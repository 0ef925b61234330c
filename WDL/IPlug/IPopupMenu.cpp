#include "WDL/IPlug/IPopupMenu.h"

IPopupMenuItem* IPopupMenu::AddItem(IPopupMenuItem* pItem, int index)
{
  if (!pItem) return nullptr;
  const bool stored = (index == -1 || index >= mMenuItems.GetSize()) ? mMenuItems.Add(pItem) != nullptr
                                                                      : mMenuItems.Insert(index, pItem) != nullptr;
  if (stored) return pItem;
  delete pItem;
  return nullptr;
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, int flags)
{
  return AddItem(new IPopupMenuItem(text, flags), index);
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, IPopupMenu* pSubmenu)
{
  return AddItem(new IPopupMenuItem(text, pSubmenu), index);
}

IPopupMenuItem* IPopupMenu::AddSeparator(int index)
{
  return AddItem(new IPopupMenuItem("", IPopupMenuItem::kSeparator), index);
}

const char* IPopupMenu::GetItemText(int index) const
{
  const IPopupMenuItem* pItem = GetItem(index);
  return pItem ? pItem->GetText() : "";
}

void IPopupMenu::GetItemLabel(int index, WDL_String* pLabel) const
{
  if (!pLabel) return;
  pLabel->Set("");
  const IPopupMenuItem* pItem = GetItem(index);
  if (!pItem) return;
  static const char* const kPrefixFormats[] = {"", "%1d: ", "%02d: ", "%03d: "};
  if (mPrefix > 0) pLabel->SetFormatted(0, kPrefixFormats[mPrefix], index + 1);
  pLabel->Append(pItem->GetText());
}

bool IPopupMenu::CheckItem(int index, bool state)
{
  IPopupMenuItem* pItem = GetItem(index);
  if (!pItem) return false;
  pItem->SetChecked(state);
  return true;
}

void IPopupMenu::CheckItemAlone(int index)
{
  for (int i = 0; i < mMenuItems.GetSize(); ++i) mMenuItems.Get(i)->SetChecked(i == index);
}

bool IPopupMenu::IsItemChecked(int index) const
{
  const IPopupMenuItem* pItem = GetItem(index);
  return pItem && pItem->GetChecked();
}
