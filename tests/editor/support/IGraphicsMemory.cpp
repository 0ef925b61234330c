#include "IGraphicsMemory.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IParam.h"
#include "WDL/IPlug/IPopupMenu.h"

namespace {

struct Image
{
  std::vector<unsigned char> mPNG;  // either PNG bytes
  int mW = 0, mH = 0;               // or pixels
  std::vector<LICE_pixel> mPixels;
};

struct ImageTable
{
  std::mutex mMutex;
  std::map<std::string, Image> mImages;
  std::atomic<int> mLoads{0};
};

ImageTable& Table()
{
  static ImageTable sTable;
  return sTable;
}

void RecordMenu(const IPopupMenu* pMenu, const std::string& indent, IGraphicsMemory::MenuShown* pShown)
{
  for (int i = 0; i < pMenu->GetNItems(); ++i)
  {
    WDL_String label;
    pMenu->GetItemLabel(i, &label);
    const IPopupMenuItem* pItem = pMenu->GetItem(i);
    pShown->mLabels.push_back(indent + label.Get());
    pShown->mFlags.push_back(pItem->GetFlags());
    if (pItem->GetSubmenu()) RecordMenu(pItem->GetSubmenu(), indent + ">", pShown);
  }
}

}  // namespace

void IGraphicsMemory::RegisterPNG(const std::string& baseName, const std::vector<unsigned char>& png)
{
  std::lock_guard<std::mutex> lock(Table().mMutex);
  Image& image = Table().mImages[baseName];
  image = Image();
  image.mPNG = png;
}

void IGraphicsMemory::RegisterImage(const std::string& baseName, LICE_IBitmap* pSource)
{
  Image image;
  image.mW = pSource->getWidth();
  image.mH = pSource->getHeight();
  for (int y = 0; y < image.mH; ++y)
    for (int x = 0; x < image.mW; ++x) image.mPixels.push_back(LICE_GetPixel(pSource, x, y));
  std::lock_guard<std::mutex> lock(Table().mMutex);
  Table().mImages[baseName] = image;
}

int IGraphicsMemory::LoadCount()
{
  return Table().mLoads.load();
}

LICE_IBitmap* IGraphicsMemory::OSLoadBitmap(int /*ID*/, const char* name)
{
  WDL_String baseName;
  if (!GetPNGResourceBaseName(name, &baseName)) return nullptr;
  Image image;
  {
    std::lock_guard<std::mutex> lock(Table().mMutex);
    auto it = Table().mImages.find(baseName.Get());
    if (it == Table().mImages.end()) return nullptr;
    image = it->second;
  }
  LICE_IBitmap* pBitmap = nullptr;
  if (!image.mPNG.empty())
  {
    pBitmap = LICE_LoadPNGFromMemory(image.mPNG.data(), (int)image.mPNG.size());
  }
  else
  {
    LICE_MemBitmap* pMem = new LICE_MemBitmap(image.mW, image.mH);
    for (int y = 0; y < image.mH; ++y)
      std::memcpy(pMem->getBits() + (size_t)y * (size_t)pMem->getRowSpan(), image.mPixels.data() + (size_t)y * image.mW,
                  sizeof(LICE_pixel) * (size_t)image.mW);
    pBitmap = pMem;
  }
  if (pBitmap) ++Table().mLoads;
  return pBitmap;
}

IRECT IGraphicsMemory::Tick()
{
  IRECT r;
  if (!IsDirty(&r)) return IRECT();
  Draw(&r);
  return r;
}

bool IGraphicsMemory::DrawScreen(IRECT* pR)
{
  mScreenCopies.push_back(pR ? *pR : IRECT());
  return true;
}

void IGraphicsMemory::ForceEndUserEdit()
{
  ++mForceEndEdits;
  mEntryOpen = false;
}

int IGraphicsMemory::ShowMessageBox(const char* text, const char* caption, int /*type*/)
{
  mMessageBoxes.push_back(std::string(caption ? caption : "") + ": " + (text ? text : ""));
  return mMessageBoxAnswer;
}

IPopupMenu* IGraphicsMemory::CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pAreaRect)
{
  ReleaseMouseCapture();
  if (!GetWindow() || !pMenu) return nullptr;
  MenuShown shown;
  shown.mRect = pAreaRect ? *pAreaRect : IRECT();
  RecordMenu(pMenu, "", &shown);
  mMenus.push_back(shown);
  if (mWhileModal) mWhileModal();

  if (mMenuChoices.empty()) return nullptr;
  const std::vector<int> path = mMenuChoices.front();
  mMenuChoices.pop_front();
  IPopupMenu* pCurrent = pMenu;
  for (size_t i = 0; i < path.size(); ++i)
  {
    IPopupMenuItem* pItem = pCurrent->GetItem(path[i]);
    if (!pItem) return nullptr;
    if (i + 1 < path.size())
    {
      if (!pItem->GetSubmenu()) return nullptr;
      pCurrent = pItem->GetSubmenu();
      continue;
    }
    if (!pItem->IsSelectable()) return nullptr;
    pCurrent->SetChosenItemIdx(path[i]);
    return pCurrent;
  }
  return nullptr;
}

void IGraphicsMemory::CreateTextEntry(IControl* pControl, IText* /*pText*/, IRECT* pTextRect, const char* str,
                                      IParam* pParam)
{
  if (!GetWindow() || mEntryOpen || !pControl) return;
  mEntryOpen = true;
  mTextEntries.push_back(
    TextEntry{pControl, pParam, pTextRect ? *pTextRect : IRECT(), str ? str : "", pControl->GetTextEntryLength()});
}

std::string IGraphicsMemory::TypeIntoTextEntry(const char* typed)
{
  if (!mEntryOpen) return "";
  const TextEntry entry = mTextEntries.back();
  std::string field = entry.mText;
  if (typed)
  {
    // The initial text is selected: typing replaces it.
    const ITextEntryFormatter formatter(entry.mParam, entry.mMaxLength);
    field.clear();
    for (const char* p = typed; *p; ++p)
    {
      const std::string candidate = field + *p;
      if (formatter.IsPartialStringValid(candidate.c_str())) field = candidate;
    }
  }
  mEntryOpen = false;
  if (entry.mParam)
    SetFromStringAfterPrompt(entry.mControl, entry.mParam, field.c_str());
  else
    entry.mControl->TextFromTextEntry(field.c_str());
  return field;
}

void IGraphicsMemory::PromptForFile(WDL_String* pFile, EFileAction /*action*/, WDL_String* pDir,
                                    const char* /*extensions*/)
{
  if (!pFile) return;
  pFile->Set("");
  if (!GetWindow()) return;
  mFilePrompts.push_back(pDir ? pDir->Get() : "");
  if (mWhileModal) mWhileModal();
  pFile->Set(mFileToChoose.c_str());
  if (!pDir || mFileToChoose.empty()) return;
  const size_t slash = mFileToChoose.rfind('/');
  pDir->Set(slash == std::string::npos ? "" : mFileToChoose.substr(0, slash + 1).c_str());
}

bool IGraphicsMemory::OpenURL(const char* url, const char*, const char*, const char*)
{
  mURLs.push_back(url ? url : "");
  if (mURLResults.empty()) return true;
  const bool result = mURLResults.front();
  mURLResults.pop_front();
  return result;
}

void* IGraphicsMemory::OpenWindow(void* pParentWnd)
{
  CloseWindow();
  mParents.push_back(pParentWnd);
  mWindowOpen = true;
  UpdateTooltips();
  return GetWindow();
}

bool IGraphicsMemory::GetTextFromClipboard(WDL_String* pStr)
{
  if (pStr) pStr->Set(mClipboard.c_str());
  return !mClipboard.empty();
}
