// IPopupMenu: the platform-free description of a popup menu.
//
// Lifecycle. The editor builds a menu, hands it to IGraphics::CreateIPopupMenu,
// which shows it modally and returns the menu (top level or submenu) that
// holds the chosen entry with its chosen index set, or null when nothing was
// chosen; then the caller destroys the menu.
//
// Ownership. A menu owns its items. An item's submenu is borrowed: whoever made
// it keeps it alive while the parent is in use and deletes it afterwards.
//
// Threading. None of its own: built and read on the editor's thread.
#ifndef IPLUG_IPOPUPMENU_H_
#define IPLUG_IPOPUPMENU_H_

#include "WDL/ptrlist.h"
#include "WDL/wdlstring.h"

class IPopupMenu;

class IPopupMenuItem
{
public:
  enum Flags
  {
    kNoFlags = 0,
    kDisabled = 1,   // shown, not selectable
    kTitle = 2,      // shown indented one level
    kChecked = 4,    // shown with a check mark
    kSeparator = 8   // a separator line
  };

  explicit IPopupMenuItem(const char* text, int flags = kNoFlags) : mText(text), mFlags(flags) {}
  IPopupMenuItem(const char* text, IPopupMenu* pSubMenu) : mText(text), mSubmenu(pSubMenu) {}
  IPopupMenuItem(const IPopupMenuItem&) = delete;
  IPopupMenuItem& operator=(const IPopupMenuItem&) = delete;

  const char* GetText() const { return mText.Get(); }
  IPopupMenu* GetSubmenu() const { return mSubmenu; }
  int GetFlags() const { return mFlags; }
  bool GetEnabled() const { return !(mFlags & kDisabled); }
  bool GetChecked() const { return (mFlags & kChecked) != 0; }
  bool GetIsTitle() const { return (mFlags & kTitle) != 0; }
  bool GetIsSeparator() const { return (mFlags & kSeparator) != 0; }
  // Whether choosing the item ends the menu: not a separator, not disabled, no submenu.
  bool IsSelectable() const { return !mSubmenu && !(mFlags & (kDisabled | kSeparator)); }

  void SetChecked(bool state) { SetFlag(kChecked, state); }
  void SetEnabled(bool state) { SetFlag(kDisabled, !state); }
  void SetTitle(bool state) { SetFlag(kTitle, state); }

private:
  void SetFlag(int flag, bool on) { mFlags = on ? (mFlags | flag) : (mFlags & ~flag); }

  WDL_String mText;
  IPopupMenu* mSubmenu = nullptr;
  int mFlags = kNoFlags;
};

class IPopupMenu
{
public:
  IPopupMenu() = default;
  ~IPopupMenu() { mMenuItems.Empty(true); }
  IPopupMenu(const IPopupMenu&) = delete;
  IPopupMenu& operator=(const IPopupMenu&) = delete;

  // Every form that takes an index inserts there: -1 appends, other negative
  // indices count as 0, an index at or past the end appends.
  // Takes ownership of pItem (also when it cannot be stored: it is deleted and
  // null returned). Null gives null.
  IPopupMenuItem* AddItem(IPopupMenuItem* pItem, int index = -1);
  IPopupMenuItem* AddItem(const char* text, int index = -1, int flags = IPopupMenuItem::kNoFlags);
  IPopupMenuItem* AddItem(const char* text, int index, IPopupMenu* pSubmenu);
  IPopupMenuItem* AddItem(const char* text, IPopupMenu* pSubmenu) { return AddItem(text, -1, pSubmenu); }
  IPopupMenuItem* AddSeparator(int index = -1);

  // Null outside 0 .. count - 1.
  IPopupMenuItem* GetItem(int index) const { return mMenuItems.Get(index); }
  // "" outside the list.
  const char* GetItemText(int index) const;
  // The label a host shows: the number prefix (position counted from 1 within
  // this menu, "%1d: ", "%02d: " or "%03d: " for prefix 1, 2, 3) and the text.
  // Empty outside the list.
  void GetItemLabel(int index, WDL_String* pLabel) const;
  int GetNItems() const { return mMenuItems.GetSize(); }

  // 0 .. 3; anything else leaves the prefix as it was.
  void SetPrefix(int prefix)
  {
    if (prefix >= 0 && prefix <= 3) mPrefix = prefix;
  }
  int GetPrefix() const { return mPrefix; }

  // False outside the list.
  bool CheckItem(int index, bool state);
  // Checks item index and clears every other (an index outside the list clears all).
  void CheckItemAlone(int index);
  bool IsItemChecked(int index) const;

  int GetChosenItemIdx() const { return mChosenItemIdx; }
  void SetChosenItemIdx(int index) { mChosenItemIdx = index; }
  bool GetCanMultiCheck() const { return mCanMultiCheck; }
  void SetMultiCheck(bool multicheck) { mCanMultiCheck = multicheck; }

private:
  int mPrefix = 0;
  int mChosenItemIdx = -1;
  bool mCanMultiCheck = false;
  WDL_PtrList<IPopupMenuItem> mMenuItems;
};

#endif  // IPLUG_IPOPUPMENU_H_
