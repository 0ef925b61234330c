// IGraphics: the editor of a plug-in instance.
//
// This is the seed of the editor framework: only what the plug-in core calls.
// The core owns the editor once it is attached (IPlugBase::AttachGraphics) and
// deletes it through the virtual destructor. All calls arrive with the plug-in's
// mutex held.
#ifndef IPLUG_IGRAPHICS_H_
#define IPLUG_IGRAPHICS_H_

class IPlugBase;

class IGraphics
{
public:
  IGraphics(IPlugBase* pPlug, int w, int h, int fps = 0) : mPlug(pPlug), mWidth(w), mHeight(h), mFPS(fps) {}
  virtual ~IGraphics() {}
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // Moves the controls bound to paramIdx to value (normalised 0..1 when
  // normalized, else the parameter's plain value).
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized) = 0;
  // Prepares the off-screen surface; called once when the editor is attached.
  virtual void PrepDraw() = 0;
  // Opens the editor's window inside the host's window pParent (an X11 Window
  // id on Linux); returns null when it could not. CloseWindow closes it; the
  // editor and its controls stay.
  virtual void* OpenWindow(void* /*pParent*/) { return nullptr; }
  virtual void CloseWindow() {}

  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  IPlugBase* GetPlug() const { return mPlug; }

protected:
  IPlugBase* mPlug;
  int mWidth;
  int mHeight;
  int mFPS;
};

#endif  // IPLUG_IGRAPHICS_H_
