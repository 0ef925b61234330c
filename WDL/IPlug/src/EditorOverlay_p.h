// What the editor host draws over the controls, inside the editor's own draw
// bitmap: the value readout and tooltip boxes, and the text field of a text
// entry. Platform-free: the models decide what shows and where, and paint
// with IGraphics' drawing services; the host decides when and repaints what
// they covered (so nothing stale stays on screen).
//
// Threading: editor thread, under the instance mutex like IGraphics.
#ifndef IPLUG_SRC_EDITOROVERLAY_P_H_
#define IPLUG_SRC_EDITOROVERLAY_P_H_

#include <string>

#include "WDL/IPlug/IGraphics.h"

class IControl;
class IParam;

namespace ieditor {

// Which control's readout shows, from what the mouse is doing: the dragged
// control always; the wheeled one for kWheelHoldMs after the last step; the
// hovered one once it has been hovered kHoverDelayMs. -1 for none.
struct ReadoutInput
{
  int dragControl = -1;
  int wheelControl = -1;
  double wheelAtMs = 0.0;
  int hoverControl = -1;
  double hoverSinceMs = 0.0;
  double nowMs = 0.0;
};
static const int kHoverDelayMs = 300;
static const int kWheelHoldMs = 1200;
static const int kTooltipDelayMs = 700;
int ReadoutControl(const ReadoutInput& in);

// A one-line box near an anchor rectangle: centred under it, or above it when
// it does not fit below, and always inside the editor.
IRECT PlaceBox(const IRECT& anchor, int boxW, int boxH, int editorW, int editorH);

// "Name: display label", from the parameter's name (or an override) and its
// display text for the current value.
std::string ReadoutText(const IParam* pParam, const char* nameOverride);

// A box of text (readout, tooltip): an opaque dark panel with a light edge.
class TextBox
{
public:
  // Shows text anchored at anchor; returns the area that changed (the old and
  // the new box), empty when nothing did.
  IRECT Show(IGraphics* pGraphics, const IRECT& anchor, const std::string& text);
  IRECT Hide();
  bool Visible() const { return mVisible; }
  const IRECT& Rect() const { return mRect; }
  const std::string& Text() const { return mText; }
  void Draw(IGraphics* pGraphics);

private:
  bool mVisible = false;
  IRECT mRect;
  std::string mText;
};

// The text field of a text entry: the text typed so far under the entry's
// formatter rules, a caret, and whether the first key replaces the whole
// initial text (it starts selected, as users expect of a value prompt).
class TextField
{
public:
  enum EResult
  {
    kIgnored,  // not a key the field uses
    kEdited,   // used (the text may or may not have changed)
    kCommit,   // Enter (or keypad Enter) or Tab: take the text
    kCancel    // Escape: drop it
  };

  void Open(IControl* pControl, IParam* pParam, const IRECT& r, const IText& style, const char* text,
            int maxLength);
  void Close();
  bool IsOpen() const { return mOpen; }
  EResult Key(const IHostKey& key);
  const std::string& Text() const { return mText; }
  int Caret() const { return mCaret; }
  bool AllSelected() const { return mAllSelected; }
  IControl* Control() const { return mControl; }
  IParam* Param() const { return mParam; }
  const IRECT& Rect() const { return mRect; }
  void Draw(IGraphics* pGraphics);

private:
  bool Accepts(const std::string& candidate) const;

  bool mOpen = false;
  IControl* mControl = nullptr;
  IParam* mParam = nullptr;
  IRECT mRect;
  IText mStyle;
  std::string mText;
  int mCaret = 0;
  bool mAllSelected = false;
  int mMaxLength = 0;
};

}  // namespace ieditor

#endif  // IPLUG_SRC_EDITOROVERLAY_P_H_
