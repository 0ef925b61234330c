// The LV2 UI descriptor: the editor of a parameter mirror in the host's
// parent window, driven by the host's idle calls.
#include "WDL/IPlug/IPlugLV2.h"

#include "WDL/IPlug/IGraphics.h"
#include "WDL/IPlug/src/IPlugLV2_p.h"

#include <cstring>
#include <new>

namespace lv2detail {

namespace {

void DestroyUI(UIInstance* pUI)
{
  if (!pUI) return;
  if (IPlugLV2* pPlug = pUI->mPlug)
  {
    if (IGraphics* pGraphics = pPlug->GetGUI())
    {
      pPlug->OnGUIClose();
      pGraphics->CloseWindow();
    }
    delete pPlug;
  }
  delete pUI;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor* pDesc, const char* pluginURI, const char* /*bundlePath*/,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* pWidget,
                         const LV2_Feature* const* features)
{
  const UIEntry* pEntry = reinterpret_cast<const UIEntry*>(pDesc);
  if (!pEntry || !pluginURI || strcmp(pluginURI, pEntry->mDesc->mURI) || !write || !pWidget) return nullptr;
  // An X11 UI is embedded in a window of the host's, or not at all.
  const LV2_Feature* parent = FindFeature(features, LV2_UI__parent);
  if (!parent || !parent->data) return nullptr;
  const LV2_Feature* touch = FindFeature(features, LV2_UI__touch);
  const LV2_Feature* resize = FindFeature(features, LV2_UI__resize);

  UIInstance* pUI = new (std::nothrow) UIInstance;
  if (!pUI) return nullptr;
  pUI->mHost.mWrite = write;
  pUI->mHost.mController = controller;
  if (touch && touch->data)
  {
    const LV2UI_Touch* pTouch = static_cast<const LV2UI_Touch*>(touch->data);
    pUI->mHost.mTouch = pTouch->touch;
    pUI->mHost.mTouchHandle = pTouch->handle;
  }
  IPlugInstanceInfo info;
  info.mUIHost = &pUI->mHost;
  try
  {
    pUI->mPlug = pEntry->mFactory(info);
  }
  catch (const std::bad_alloc&)
  {
    pUI->mPlug = nullptr;
  }
  IGraphics* pGraphics = pUI->mPlug ? pUI->mPlug->GetGUI() : nullptr;
  void* pWindow = pGraphics ? pGraphics->OpenWindow(parent->data) : nullptr;
  if (!pWindow)
  {
    DestroyUI(pUI);
    return nullptr;
  }
  pUI->mPlug->OnGUIOpen();
  *pWidget = pWindow;
  if (resize && resize->data)
  {
    const LV2UI_Resize* pResize = static_cast<const LV2UI_Resize*>(resize->data);
    if (pResize->ui_resize) pResize->ui_resize(pResize->handle, pGraphics->Width(), pGraphics->Height());
  }
  return pUI;
}

void Cleanup(LV2UI_Handle h)
{
  DestroyUI(static_cast<UIInstance*>(h));
}

void PortEvent(LV2UI_Handle h, uint32_t port, uint32_t bufferSize, uint32_t format, const void* pBuffer)
{
  UIInstance* pUI = static_cast<UIInstance*>(h);
  if (pUI && pUI->mPlug) pUI->mPlug->LV2PortEvent(port, bufferSize, format, pBuffer);
}

// The host's idle call is the editor's redraw tick. Non-zero tells the host
// the editor is gone (its display was lost).
int Idle(LV2UI_Handle h)
{
  UIInstance* pUI = static_cast<UIInstance*>(h);
  IGraphics* pGraphics = (pUI && pUI->mPlug) ? pUI->mPlug->GetGUI() : nullptr;
  if (!pGraphics) return 1;
  pGraphics->OnHostIdle();
  return pGraphics->WindowIsOpen() ? 0 : 1;
}

const LV2UI_Idle_Interface kIdleInterface = {Idle};

const void* ExtensionData(const char* uri)
{
  if (uri && !strcmp(uri, LV2_UI__idleInterface)) return &kIdleInterface;
  return nullptr;
}

}  // namespace

UIEntry::UIEntry(const IPlugLV2Description* pDesc, IPlugLV2Factory factory) : mDesc(pDesc), mFactory(factory)
{
  mLV2.URI = pDesc->mUIURI;
  mLV2.instantiate = Instantiate;
  mLV2.cleanup = Cleanup;
  mLV2.port_event = PortEvent;
  mLV2.extension_data = ExtensionData;
}

}  // namespace lv2detail

const void* IPlugLV2UIEntry(uint32_t index, const IPlugLV2Description* pDesc, IPlugLV2Factory factory)
{
  if (index != 0 || !pDesc || !pDesc->mURI || !pDesc->mUIURI || !factory) return nullptr;
  static const lv2detail::UIEntry sEntry(pDesc, factory);  // one UI per binary
  return &sEntry.mLV2;
}
