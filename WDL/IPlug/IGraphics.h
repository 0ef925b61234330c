// IGraphics: the editor of a plug-in instance, and the value records it shares
// with its controls (IRECT, IColor, IText, IBitmap, IChannelBlend, IMouseMod).
//
// Lifecycle. The plug-in constructs one IGraphics per instance, attaches the
// background and its controls, and hands it to IPlugBase::AttachGraphics, which
// pushes every parameter value into the controls, calls PrepDraw and takes
// ownership: the instance deletes the editor in its destructor. The window is
// opened and closed any number of times in between (OpenWindow/CloseWindow);
// controls and images stay loaded.
//
// Ownership. The editor owns its controls, the key catcher and its two
// off-screen bitmaps. Images and fonts belong to two process-wide caches
// (BitmapStorage, FontStorage) shared by every editor in the process and
// emptied only when the library is unloaded; an IBitmap is a handle into them.
//
// Threading. Everything runs on the editor's (host GUI) thread, with the
// instance mutex held by the platform host while it routes events and draws;
// SetParameterFromPlug is also called by the host adapter under that mutex.
// The two caches guard themselves with their own mutexes.
//
// The class is abstract: a platform host derives from it and supplies the
// window, screen copy, menus, text entry, dialogs, paths and image resources
// (the pure virtual operations below). Nothing here knows a window system.
#ifndef IPLUG_IGRAPHICS_H_
#define IPLUG_IGRAPHICS_H_

#include "WDL/mutex.h"
#include "WDL/ptrlist.h"
#include "WDL/wdlstring.h"

class IControl;
class IParam;
class IPlugBase;
class IPopupMenu;
class LICE_IBitmap;
class LICE_IFont;
class LICE_MemBitmap;
class LICE_SysBitmap;

// A rectangle in editor pixels, origin top-left; R and B are exclusive. Empty
// means all four are 0 (a zero-width rectangle elsewhere is not empty). The
// intersection test is deliberately not symmetric at touching edges: A's right
// edge equal to B's left edge counts as intersecting when A comes first.
struct IRECT
{
  int L = 0, T = 0, R = 0, B = 0;

  constexpr IRECT() = default;
  constexpr IRECT(int l, int t, int r, int b) : L(l), T(t), R(r), B(b) {}

  bool Empty() const { return L == 0 && T == 0 && R == 0 && B == 0; }
  void Clear() { L = T = R = B = 0; }
  int W() const { return R - L; }
  int H() const { return B - T; }
  // Centres, computed in single precision.
  float MW() const { return 0.5f * (float)(L + R); }
  float MH() const { return 0.5f * (float)(T + B); }

  bool operator==(const IRECT& o) const { return L == o.L && T == o.T && R == o.R && B == o.B; }
  bool operator!=(const IRECT& o) const { return !(*this == o); }

  bool Intersects(const IRECT& o) const
  {
    return !Empty() && !o.Empty() && L < o.R && R >= o.L && T < o.B && B >= o.T;
  }
  IRECT Intersect(const IRECT& o) const
  {
    if (!Intersects(o)) return IRECT();
    return IRECT(L > o.L ? L : o.L, T > o.T ? T : o.T, R < o.R ? R : o.R, B < o.B ? B : o.B);
  }
  IRECT Union(const IRECT& o) const
  {
    if (Empty()) return o;
    if (o.Empty()) return *this;
    return IRECT(L < o.L ? L : o.L, T < o.T ? T : o.T, R > o.R ? R : o.R, B > o.B ? B : o.B);
  }
  bool Contains(int x, int y) const { return !Empty() && x >= L && x < R && y >= T && y < B; }
};

// A colour, each component 0..255; packs into a LICE_pixel with A highest.
struct IColor
{
  int A = 255, R = 0, G = 0, B = 0;

  constexpr IColor(int a = 255, int r = 0, int g = 0, int b = 0) : A(a), R(r), G(g), B(b) {}
  bool operator==(const IColor& o) const { return A == o.A && R == o.R && G == o.G && B == o.B; }
  bool operator!=(const IColor& o) const { return !(*this == o); }
};

inline constexpr IColor COLOR_TRANSPARENT(0, 0, 0, 0);
inline constexpr IColor COLOR_BLACK(255, 0, 0, 0);
inline constexpr IColor COLOR_GRAY(255, 127, 127, 127);
inline constexpr IColor COLOR_WHITE(255, 255, 255, 255);
inline constexpr IColor COLOR_RED(255, 255, 0, 0);
inline constexpr IColor COLOR_GREEN(255, 0, 255, 0);
inline constexpr IColor COLOR_BLUE(255, 0, 0, 255);
inline constexpr IColor COLOR_YELLOW(255, 255, 255, 0);
inline constexpr IColor COLOR_ORANGE(255, 255, 127, 0);
inline constexpr IColor DEFAULT_TEXT_COLOR = COLOR_BLACK;
inline constexpr IColor DEFAULT_TEXT_ENTRY_BGCOLOR = COLOR_WHITE;
inline constexpr IColor DEFAULT_TEXT_ENTRY_FGCOLOR = COLOR_BLACK;

// The low 8 bits of each component: A << 24 | R << 16 | G << 8 | B.
unsigned int IColorToPixel(const IColor& color);
IColor IColorFromPixel(unsigned int pixel);

// Font names are fixed fields of this many bytes, terminator included.
static const int kMaxFontNameLen = 32;
static const int kDefaultTextSize = 10;

// A text style. The cached font is filled on first use from the font cache
// (which owns it); colour, alignment and quality are not part of its key.
struct IText
{
  enum EStyle : int
  {
    kStyleNormal = 0,
    kStyleBold = 1,
    kStyleItalic = 2
  };
  enum EAlign : int
  {
    kAlignNear = 0,
    kAlignCenter = 1,
    kAlignFar = 2
  };
  enum EQuality : int
  {
    kQualityDefault = 0,
    kQualityNonAntiAliased = 1,
    kQualityAntiAliased = 2,
    kQualityClearType = 3
  };

  char mFont[kMaxFontNameLen];
  int mSize;
  IColor mColor;
  IColor mTextEntryBGColor;
  IColor mTextEntryFGColor;
  int mStyle;
  int mAlign;
  int mOrientation;  // degrees
  int mQuality;
  LICE_IFont* mCached = nullptr;

  // A font name longer than 31 characters is cut; null is "Monaco".
  explicit IText(int size = kDefaultTextSize, const IColor* pColor = nullptr, const char* font = nullptr,
                 int style = kStyleNormal, int align = kAlignCenter, int orientation = 0,
                 int quality = kQualityDefault, const IColor* pTEBGColor = nullptr,
                 const IColor* pTEFGColor = nullptr);
  explicit IText(const IColor* pColor) : IText(kDefaultTextSize, pColor) {}
  void SetFont(const char* font);
};

// A handle to a cached image: the pixels (owned by the bitmap cache), the size
// of the whole image and how it divides into frames. A frame count below 1
// counts as 1.
struct IBitmap
{
  LICE_IBitmap* mData = nullptr;
  int W = 0, H = 0, N = 1;
  bool mFramesAreHorizontal = false;

  IBitmap() = default;
  IBitmap(LICE_IBitmap* pData, int w, int h, int n = 1, bool framesAreHorizontal = false)
    : mData(pData), W(w), H(h), N(n < 1 ? 1 : n), mFramesAreHorizontal(framesAreHorizontal)
  {
  }
  int Frames() const { return N < 1 ? 1 : N; }
  int frameWidth() const { return mFramesAreHorizontal ? W / Frames() : W; }
  int frameHeight() const { return mFramesAreHorizontal ? H : H / Frames(); }
};

// How a control's bitmaps combine with what lies under them, and how strongly.
struct IChannelBlend
{
  enum EBlendMethod : int
  {
    kBlendNone = 0,        // alpha-weighted copy
    kBlendClobber = 1,     // opaque copy
    kBlendAdd = 2,
    kBlendColorDodge = 3
  };
  int mMethod;
  float mWeight;

  IChannelBlend(int method = kBlendNone, float weight = 1.0f) : mMethod(method), mWeight(weight) {}
};

// The raster mode word and weight for a blend record (null: alpha-weighted copy
// at full weight); rotated blits add the bilinear filter.
int LiceBlendMode(const IChannelBlend* pBlend);
float LiceWeight(const IChannelBlend* pBlend);

// The buttons and modifier keys of a mouse event.
struct IMouseMod
{
  bool L, R, S, C, A;
  IMouseMod(bool l = false, bool r = false, bool s = false, bool c = false, bool a = false)
    : L(l), R(r), S(s), C(c), A(a)
  {
  }
};

// A key that reaches the editor through the plug-in format (a host's key
// opcodes) rather than the window system: the character it types (0 for none)
// or a named key, whether it is on the numeric keypad, and the modifiers held.
struct IHostKey
{
  enum ENamed : int
  {
    kNone = 0,
    kLeft,
    kRight,
    kUp,
    kDown,
    kHome,
    kEnd,
    kPageUp,
    kPageDown,
    kBackspace,
    kDelete,
    kReturn,
    kEscape,
    kTab,
    kSpace,
    kOther  // a key the editor does not use (function keys, modifiers alone)
  };
  int mChar = 0;  // Unicode code point
  int mNamed = kNone;
  bool mKeypad = false;
  bool mShift = false, mControl = false, mAlt = false;
};

enum EFileAction : int
{
  kFileOpen = 0,
  kFileSave = 1
};

// What a host's text entry accepts while the user types, for a control's
// parameter: digits and signs for bool, int and enum parameters, also the
// decimal point for doubles, nothing at all for a parameter of no type; at
// most the control's text entry length of characters; without a parameter,
// anything. The host applies it to each candidate text.
class ITextEntryFormatter
{
public:
  ITextEntryFormatter(const IParam* pParam, int maxLength, int maxValue = 0);

  // Null: every character is accepted.
  const char* GetCharacterSet() const { return mHasCharacterSet ? mCharacterSet : nullptr; }
  int GetMaxLength() const { return mMaxLength; }
  // Every character in the set (when there is one), no longer than the maximum
  // length (when non-zero) and an integer value no greater than the maximum
  // value (when non-zero). Null is refused.
  bool IsPartialStringValid(const char* str) const;

private:
  const char* mCharacterSet = "";
  bool mHasCharacterSet = false;
  int mMaxLength;
  int mMaxValue;
};

// The base name an image resource is looked up by: the last path component of
// name without its extension, which must be "png" in any case and leave a
// name before it. False (and an empty base name) otherwise.
bool GetPNGResourceBaseName(const char* name, WDL_String* pBaseName);

// The process-wide image cache: bitmaps by resource id (-1 for images made at
// run time), each stored once. Destroying it deletes every stored bitmap.
// Add, Remove and Find lock its mutex; Lock() exposes it for find-or-load.
class BitmapStorage
{
public:
  BitmapStorage() = default;
  ~BitmapStorage();
  BitmapStorage(const BitmapStorage&) = delete;
  BitmapStorage& operator=(const BitmapStorage&) = delete;

  // Stores pBitmap under id and takes ownership; a bitmap stored already is not
  // stored twice (it would be deleted twice). False for null.
  bool Add(LICE_IBitmap* pBitmap, int id = -1);
  // Deletes the entry holding pBitmap and the bitmap itself; nothing when absent.
  void Remove(LICE_IBitmap* pBitmap);
  // The first bitmap stored under id, or null.
  LICE_IBitmap* Find(int id);
  bool Contains(LICE_IBitmap* pBitmap);
  int Size();
  WDL_Mutex* GetMutex() { return &mMutex; }

  // The one instance every editor of the process shares.
  static BitmapStorage& Shared();

private:
  struct Entry
  {
    int mID;
    LICE_IBitmap* mBitmap;
  };
  // The entry holding pBitmap, or -1; the caller holds the mutex.
  int IndexOf(LICE_IBitmap* pBitmap);
  WDL_PtrList<Entry> mBitmaps;
  WDL_Mutex mMutex;
};

// The process-wide font cache: fonts by (size, orientation, style, face).
// Destroying it deletes every stored font.
class FontStorage
{
public:
  FontStorage() = default;
  ~FontStorage();
  FontStorage(const FontStorage&) = delete;
  FontStorage& operator=(const FontStorage&) = delete;

  // The first font stored for pText's key, or null.
  LICE_IFont* Find(const IText* pText);
  // Stores pFont under pText's key and takes ownership. False for null.
  bool Add(LICE_IFont* pFont, const IText* pText);
  int Size();
  WDL_Mutex* GetMutex() { return &mMutex; }

  static FontStorage& Shared();

private:
  struct Entry
  {
    int mSize;
    int mOrientation;
    int mStyle;
    char mFace[kMaxFontNameLen];
    LICE_IFont* mFont;
  };
  WDL_PtrList<Entry> mFonts;
  WDL_Mutex mMutex;
};

class IGraphics
{
public:
  // fps <= 0 selects 25 frames per second.
  IGraphics(IPlugBase* pPlug, int w, int h, int fps = 0);
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // Platform operations, in slot order.
  // Copies the given area of the draw bitmap to the screen.
  virtual bool DrawScreen(IRECT* pR) = 0;
  // Measures str in pTxt's style: the rectangle's width and height become the
  // text's, placed by its alignment within *pR, top kept.
  virtual bool MeasureIText(IText* pTxt, const char* str, IRECT* pR);
  // Ends an open text entry.
  virtual void ForceEndUserEdit() = 0;
  // Deletes every control and the bitmaps, prepares new ones of w x h and tells
  // the plug-in; the plug-in attaches its controls again. Non-positive sizes
  // are refused.
  virtual void Resize(int w, int h);
  virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
  // The window system's name; "" here.
  virtual const char* GetGUIAPI() { return ""; }
  // type 4: Yes/No, 3: Yes/No/Cancel, 1: OK/Cancel, else OK. Returns 1 (OK or
  // Yes), 7 (No), 2 (Cancel) or 0.
  virtual int ShowMessageBox(const char* text, const char* caption, int type) = 0;
  // Runs pMenu modally (releasing the mouse capture first); returns the menu
  // holding the chosen item with its chosen index set, or null.
  virtual IPopupMenu* CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pAreaRect) = 0;
  // Opens a text field over pTextRect with str; when it ends the host calls
  // SetFromStringAfterPrompt (with a parameter) or the control's
  // TextFromTextEntry. Typing follows ITextEntryFormatter.
  virtual void CreateTextEntry(IControl* pControl, IText* pText, IRECT* pTextRect, const char* str,
                               IParam* pParam) = 0;
  virtual void HostPath(WDL_String* pPath) = 0;
  virtual void PluginPath(WDL_String* pPath) = 0;
  virtual void DesktopPath(WDL_String* pPath) = 0;
  virtual void AppSupportPath(WDL_String* pPath, bool isSystem = false) = 0;
  virtual void SandboxSafeAppSupportPath(WDL_String* pPath) = 0;
  // Modal file dialog: pFile receives the chosen path (empty on cancel), pDir
  // the folder holding it; extensions are separated by blanks.
  virtual void PromptForFile(WDL_String* pFile, EFileAction action = kFileOpen, WDL_String* pDir = nullptr,
                             const char* extensions = "") = 0;
  virtual bool PromptForColor(IColor* pColor, const char* prompt = "") = 0;
  virtual bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
                       const char* errMsgOnFailure = nullptr) = 0;
  // Opens the editor inside the host's parent window; the platform view, or
  // null when it could not.
  virtual void* OpenWindow(void* pParentWnd) = 0;
  virtual void* OpenWindow(void* /*pParentWnd*/, void* /*pParentControl*/, short /*leftOffset*/ = 0,
                           short /*topOffset*/ = 0)
  {
    return nullptr;
  }
  virtual void AttachSubWindow(void* /*hostWindowRef*/) {}
  virtual void RemoveSubWindow() {}
  virtual void CloseWindow() = 0;
  virtual void* GetWindow() = 0;
  virtual bool GetTextFromClipboard(WDL_String* pStr) = 0;
  virtual ~IGraphics();
  virtual void HideMouseCursor() {}
  virtual void ShowMouseCursor() {}
  virtual void UpdateTooltips() = 0;
  // A new bitmap from the image resource (the cache takes it), or null.
  virtual LICE_IBitmap* OSLoadBitmap(int ID, const char* name) = 0;

  // What the plug-in core calls (virtual so that the core reaches the editor
  // without linking it).
  // Moves the controls bound to paramIdx (and those showing it as an auxiliary
  // parameter) to value: normalised 0..1 when normalized, else the
  // parameter's plain value. NaN is ignored, as the parameter ignores it; so
  // is a plain value for a parameter that does not exist.
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized);
  // The host's periodic editor call, made without the instance mutex held so
  // that a platform host can repaint on it (it takes the mutex itself around
  // the editor work). Default: nothing.
  virtual void OnHostIdle() {}
  // A key the host forwards; true when the editor used it (the host keeps the
  // others). Made without the instance mutex held. Default: unused.
  virtual bool OnHostKey(const IHostKey& /*key*/, bool /*down*/) { return false; }
  // Creates the draw bitmap (width x height) and the scratch bitmap, replacing
  // any made earlier.
  virtual void PrepDraw();

  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  IPlugBase* GetPlug() const { return mPlug; }

  // Control registry. The list owns its controls; index 0 is the background
  // once one is attached.
  // Returns the control's index, or -1 for null (or when it cannot be stored:
  // it is deleted).
  int AttachControl(IControl* pControl);
  // Receives the keys nobody else takes; owned. Replacing deletes the earlier one.
  void AttachKeyCatcher(IControl* pControl);
  // A bitmap control (opaque copy) or a panel filling the editor, inserted at
  // index 0. A null colour attaches nothing.
  void AttachBackground(int ID, const char* name);
  void AttachPanelBackground(const IColor* pColor);
  IControl* GetControl(int idx) const { return mControls.Get(idx); }
  int NControls() const { return mControls.GetSize(); }
  IControl* GetKeyCatcher() const { return mKeyCatcher; }

  void HideControl(int paramIdx, bool hide);
  void GrayOutControl(int paramIdx, bool gray);
  // Clamps every control of paramIdx to lo..hi (normalised, or plain values of
  // the parameter). Bounds are limited to 0..1; plain bounds for a parameter
  // that does not exist are ignored. Nothing is redrawn.
  void ClampControl(int paramIdx, double lo, double hi, bool normalized);
  // Out-of-range control indices are ignored.
  void SetControlFromPlug(int controlIdx, double normalizedValue);
  // Every control of paramIdx takes value as if the user had chosen it.
  void SetParameterFromGUI(int paramIdx, double normalizedValue);
  void SetAllControlsDirty();
  void AssignParamNameToolTips();

  // Repaint. IsDirty widens *pR by every dirty control's rectangle (hidden ones
  // too) and says whether there was one; Draw paints into the draw bitmap in
  // list order and ends with DrawScreen(pR).
  bool IsDirty(IRECT* pR);
  void Draw(IRECT* pR);
  // Strict (default): every visible control meeting the repaint rectangle is
  // painted. Non-strict: each dirty control is painted with what lies under and
  // over it.
  void SetStrictDrawing(bool strict);
  bool GetStrictDrawing() const { return mStrict; }
  const IRECT& GetDrawRect() const { return mDrawRECT; }
  LICE_SysBitmap* GetDrawBitmap() const { return mDrawBitmap; }

  // Mouse and keys, in editor pixels. A null modifier record means no buttons
  // and no modifiers.
  void OnMouseDown(int x, int y, IMouseMod* pMod);
  void OnMouseUp(int x, int y, IMouseMod* pMod);
  void OnMouseDrag(int x, int y, IMouseMod* pMod);
  // True when the double click was turned into a press (and captured).
  bool OnMouseDblClick(int x, int y, IMouseMod* pMod);
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int d);
  // Returns whether mouse-over is handled at all.
  bool OnMouseOver(int x, int y, IMouseMod* pMod);
  void OnMouseOut();
  // True when a control used the key.
  bool OnKeyDown(int x, int y, int key);
  void ReleaseMouseCapture();
  // The captured control, else the topmost hit one, else -1.
  int GetMouseControlIdx(int x, int y, bool mo = false);
  int GetParamIdxForPTAutomation(int x, int y);
  int GetLastClickedParamForPTAutomation();
  void OnGUIIdle();
  int GetMouseCapture() const { return mMouseCapture; }
  int GetMouseOver() const { return mMouseOver; }
  int GetMouseX() const { return mMouseX; }
  int GetMouseY() const { return mMouseY; }
  void HandleMouseOver(bool canHandle) { mHandleMouseOver = canHandle; }
  bool CanHandleMouseOver() const { return mHandleMouseOver; }
  void EnableTooltips(bool enable) { mEnableTooltips = enable; }
  bool TooltipsEnabled() const { return mEnableTooltips; }

  // Prompts: a menu of the display texts for enum parameters and for bool ones
  // with display texts, else a text entry with the value's text. Null
  // arguments do nothing.
  void PromptUserInput(IControl* pControl, IParam* pParam, IRECT* pTextRect);
  // The text a text entry returned: a display text for bool and enum
  // parameters, a number (in the "C" locale, sign inverted for negated
  // displays) for the others. A text that is no finite number is ignored.
  void SetFromStringAfterPrompt(IControl* pControl, IParam* pParam, const char* txt);

  // Drawing into the draw bitmap. Bitmap blits clip to the draw rectangle (the
  // area being repainted); the other operations do not. A null bitmap, colour
  // or rectangle draws nothing, and so do points and lines at coordinates that
  // are no numbers.
  bool DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int srcX, int srcY, const IChannelBlend* pBlend);
  // Frames count from 1; frames past the last draw the last.
  bool DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int frame, const IChannelBlend* pBlend);
  // angle in radians, clockwise.
  bool DrawRotatedBitmap(IBitmap* pBitmap, int destCtrX, int destCtrY, double angle, int yOffsetZeroDeg,
                         const IChannelBlend* pBlend);
  // The base image with the rotated mask as its alpha and the rotated top over
  // it, at (x, y); angle in degrees.
  bool DrawRotatedMask(IBitmap* pBase, IBitmap* pMask, IBitmap* pTop, int x, int y, double angle,
                       const IChannelBlend* pBlend);
  bool DrawPoint(const IColor* pColor, float x, float y, const IChannelBlend* pBlend, bool antiAlias = false);
  // Writes the colour without blending; points outside the bitmap are ignored.
  bool ForcePixel(const IColor* pColor, int x, int y);
  bool DrawLine(const IColor* pColor, float x1, float y1, float x2, float y2, const IChannelBlend* pBlend,
                bool antiAlias = false);
  bool DrawArc(const IColor* pColor, float cx, float cy, float r, float minAngle, float maxAngle,
               const IChannelBlend* pBlend, bool antiAlias = false);
  bool DrawCircle(const IColor* pColor, float cx, float cy, float r, const IChannelBlend* pBlend,
                  bool antiAlias = false);
  bool RoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend, int cornerradius, bool aa);
  bool FillRoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend, int cornerradius, bool aa);
  bool FillIRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend = nullptr);
  bool FillCircle(const IColor* pColor, int cx, int cy, float r, const IChannelBlend* pBlend = nullptr,
                  bool antiAlias = false);
  bool FillTriangle(const IColor* pColor, int x1, int y1, int x2, int y2, int x3, int y3,
                    const IChannelBlend* pBlend);
  bool FillIConvexPolygon(const IColor* pColor, int* x, int* y, int npoints, const IChannelBlend* pBlend);
  // 0 outside the bitmap.
  IColor GetPoint(int x, int y);
  void* GetBits();
  bool DrawVerticalLine(const IColor* pColor, int xi, int yLo, int yHi);
  bool DrawHorizontalLine(const IColor* pColor, int yi, int xLo, int xHi);
  // x (y) is a position 0..1 across (up) the rectangle.
  bool DrawVerticalLine(const IColor* pColor, IRECT* pR, float x);
  bool DrawHorizontalLine(const IColor* pColor, IRECT* pR, float y);
  bool DrawRect(const IColor* pColor, IRECT* pR);
  // angle in radians, 0 straight up, clockwise.
  bool DrawRadialLine(const IColor* pColor, float cx, float cy, float angle, float rMin, float rMax,
                      const IChannelBlend* pBlend = nullptr, bool antiAlias = false);
  // Draws str from the rectangle's top, aligned by the style, or with measure
  // sets *pR to the text's box instead. False when no font can be made.
  bool DrawIText(IText* pTxt, const char* str, IRECT* pR, bool measure = false);

  // Images. LoadIBitmap yields the same pixels for the same id whatever the
  // name; an image the host cannot load gives an empty IBitmap. Scaled and
  // cropped copies join the cache; ReleaseBitmap deletes the pixels (and
  // empties the record passed) even if other records still point at them.
  IBitmap LoadIBitmap(int ID, const char* name, int nStates = 1, bool framesAreHoriz = false);
  IBitmap ScaleBitmap(IBitmap* pSrcBitmap, int destW, int destH);
  IBitmap CropBitmap(IBitmap* pSrcBitmap, IRECT* pR);
  void RetainBitmap(IBitmap* pBitmap);
  void ReleaseBitmap(IBitmap* pBitmap);
  // The style's font from the font cache, made on first use; null when the
  // GDI layer cannot make it.
  LICE_IFont* CacheFont(IText* pTxt);

protected:
  IPlugBase* mPlug;
  IRECT mDrawRECT;
  bool mCursorHidden = false;
  int mHiddenCursorX = -1, mHiddenCursorY = -1;

private:
  // The topmost visible, enabled control under (x, y); with mo, grayed ones
  // that take mouse-over too. -1 for none.
  int FindControl(int x, int y, bool mo = false) const;
  // Host gestures: every Begin sent is matched by exactly one End.
  void BeginGesture(int paramIdx);
  void EndGesture();
  void DeleteControls();
  void DeleteBitmaps();
  // A blit of src clipped to the draw rectangle.
  void ClippedBlit(LICE_IBitmap* pSrc, const IRECT& dest, int srcX, int srcY, const IChannelBlend* pBlend);

  WDL_PtrList<IControl> mControls;
  LICE_SysBitmap* mDrawBitmap = nullptr;
  LICE_MemBitmap* mTmpBitmap = nullptr;
  int mWidth, mHeight, mFPS;
  int mMouseCapture = -1, mMouseOver = -1;
  int mMouseX = 0, mMouseY = 0;
  int mLastClickedParam = -1;
  int mGestureParam = -1;
  bool mHandleMouseOver = false;
  bool mStrict = true;
  bool mEnableTooltips = false;
  IControl* mKeyCatcher = nullptr;
};

#endif  // IPLUG_IGRAPHICS_H_
