// IGraphicsMemory: an editor host without a screen. Its platform operations
// draw nothing on screen and record what was asked of them (screen copies,
// menus shown, text entries, URLs, message boxes, file prompts), answer from
// a script the test sets up, and load images from a process-wide table of
// registered images, so that the whole editor framework runs headless.
//
// Lifecycle and ownership as any IGraphics: attached to a plug-in, which owns
// it. Threading: the instance is used by one thread; the image table is
// guarded and may be filled and read from any thread.
#ifndef TESTS_EDITOR_SUPPORT_IGRAPHICSMEMORY_H_
#define TESTS_EDITOR_SUPPORT_IGRAPHICSMEMORY_H_

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "WDL/IPlug/IGraphics.h"
#include "WDL/lice/lice.h"

class IGraphicsMemory : public IGraphics
{
public:
  IGraphicsMemory(IPlugBase* pPlug, int w, int h, int fps = 0) : IGraphics(pPlug, w, h, fps) {}
  ~IGraphicsMemory() override { CloseWindow(); }

  // Images by base name (the file name without folders and ".png"): PNG
  // bytes, or the pixels of a bitmap (copied).
  static void RegisterPNG(const std::string& baseName, const std::vector<unsigned char>& png);
  static void RegisterImage(const std::string& baseName, LICE_IBitmap* pSource);
  // OSLoadBitmap calls that produced a bitmap, process-wide.
  static int LoadCount();

  // The host's repaint tick: IsDirty over an empty rectangle and, when dirty,
  // Draw of what it returned. The rectangle drawn, or an empty one.
  IRECT Tick();
  // The area drawing operations clip blits to, as Draw sets it.
  void SetDrawRect(const IRECT& r) { mDrawRECT = r; }

  // Platform operations.
  bool DrawScreen(IRECT* pR) override;
  void ForceEndUserEdit() override;
  const char* GetGUIAPI() override { return "Memory GUI"; }
  int ShowMessageBox(const char* text, const char* caption, int type) override;
  IPopupMenu* CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pAreaRect) override;
  void CreateTextEntry(IControl* pControl, IText* pText, IRECT* pTextRect, const char* str, IParam* pParam) override;
  void HostPath(WDL_String* pPath) override { pPath->Set("/memory/host"); }
  void PluginPath(WDL_String* pPath) override { pPath->Set("/memory/plugin/"); }
  void DesktopPath(WDL_String* pPath) override { pPath->Set("/memory/Desktop"); }
  void AppSupportPath(WDL_String* pPath, bool isSystem) override
  {
    pPath->Set(isSystem ? "/memory/share" : "/memory/home/.local/share");
  }
  void SandboxSafeAppSupportPath(WDL_String* pPath) override { pPath->Set("/memory/home/Music"); }
  void PromptForFile(WDL_String* pFile, EFileAction action, WDL_String* pDir, const char* extensions) override;
  bool PromptForColor(IColor*, const char*) override { return false; }
  bool OpenURL(const char* url, const char* msgWindowTitle, const char* confirmMsg,
               const char* errMsgOnFailure) override;
  void* OpenWindow(void* pParentWnd) override;
  void CloseWindow() override { mWindowOpen = false; }
  void* GetWindow() override { return mWindowOpen ? this : nullptr; }
  bool GetTextFromClipboard(WDL_String* pStr) override;
  void UpdateTooltips() override { ++mTooltipUpdates; }
  LICE_IBitmap* OSLoadBitmap(int ID, const char* name) override;

  // A text entry as the host shows it.
  struct TextEntry
  {
    IControl* mControl;
    IParam* mParam;
    IRECT mRect;
    std::string mText;
    int mMaxLength;
  };
  bool TextEntryOpen() const { return mEntryOpen; }
  const TextEntry& LastTextEntry() const { return mTextEntries.back(); }
  // Types typed into the open entry one character at a time, refusing each
  // keystroke the entry's formatter refuses (as a real field does), then ends
  // the entry as the host does. Returns the text the field held.
  std::string TypeIntoTextEntry(const char* typed);

  // What a menu looked like when it was shown: one label (prefix included)
  // and the flags per item; submenus as labels of their own, indented by ">".
  struct MenuShown
  {
    std::vector<std::string> mLabels;
    std::vector<int> mFlags;
    IRECT mRect;
  };

  // Script: each menu shown takes the next choice path (item indices from the
  // top menu into submenus; empty means nothing chosen). No script: nothing.
  std::deque<std::vector<int>> mMenuChoices;
  std::deque<bool> mURLResults;  // OpenURL answers in order; true when empty
  int mMessageBoxAnswer = 1;
  // Runs inside every modal operation (menu, file prompt), as the window
  // system's event loop would, e.g. to repaint meanwhile.
  std::function<void()> mWhileModal;
  std::string mFileToChoose;  // "" cancels the file prompt
  std::string mClipboard;

  // Records.
  std::vector<IRECT> mScreenCopies;
  std::vector<MenuShown> mMenus;
  std::vector<TextEntry> mTextEntries;
  std::vector<std::string> mURLs;
  std::vector<std::string> mMessageBoxes;
  std::vector<std::string> mFilePrompts;  // the directory each prompt started in
  std::vector<void*> mParents;
  int mTooltipUpdates = 0;
  int mForceEndEdits = 0;

private:
  bool mWindowOpen = false;
  bool mEntryOpen = false;
};

#endif  // TESTS_EDITOR_SUPPORT_IGRAPHICSMEMORY_H_
