// IGraphicsLinux's modal popups: menus (with submenus), message boxes and the
// file prompt. Each is an override-redirect window on the editor's own
// connection, painted with the raster layer and run modally inside the call:
// the instance mutex is released while it waits for input, a close of the
// editor ends it, and so do Escape, a click outside and a timeout.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "WDL/IPlug/IGraphicsLinux.h"
#include "WDL/IPlug/IPopupMenu.h"
#include "WDL/IPlug/src/IGraphicsLinux_p.h"
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_text.h"

extern char** environ;

using ieditor::Session;

namespace {

// Nobody answering a menu for a minute, or a message box for ten, has left.
const long long kMenuTimeoutMs = 60 * 1000;
const long long kDialogTimeoutMs = 10 * 60 * 1000;
// A press that opened a menu is released over it at once; only a release
// after this long (or after the pointer moved) chooses.
const long long kReleaseChoosesAfterMs = 350;
// A popup asked for outside a tick waits this long for a tick to end.
const int kServiceWaitMs = 200;

const int kRowH = 20;
const int kSeparatorH = 8;
const int kTextSize = 12;
const LICE_pixel kMenuBack = LICE_RGBA(244, 244, 244, 255);
const LICE_pixel kMenuEdge = LICE_RGBA(120, 120, 124, 255);
const LICE_pixel kMenuHot = LICE_RGBA(52, 101, 164, 255);
const LICE_pixel kMenuText = LICE_RGBA(20, 20, 20, 255);
const LICE_pixel kMenuTextHot = LICE_RGBA(255, 255, 255, 255);
const LICE_pixel kMenuTextOff = LICE_RGBA(150, 150, 150, 255);

// Text into a popup's own bitmap, with the editor's font cache; a build
// without fonts simply shows no text.
class PopupText
{
public:
  explicit PopupText(IGraphics* g) : mStyle(kTextSize)
  {
    mFont = g->CacheFont(&mStyle);
  }
  int Width(const char* s)
  {
    if (!mFont || !s || !*s) return (int)(s ? strlen(s) : 0) * 7;
    RECT r = {0, 0, 2000, 100};
    mFont->DrawText(nullptr, s, -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    return r.right - r.left;
  }
  void Draw(LICE_IBitmap* bm, const char* s, int x, int y, int w, int h, LICE_pixel colour, bool centre = false)
  {
    if (!mFont || !s || !*s) return;
    RECT r = {x, y, x + w, y + h};
    mFont->SetTextColor(colour);
    mFont->SetBkMode(0);
    mFont->DrawText(bm, s, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (centre ? DT_CENTER : DT_LEFT));
  }

private:
  IText mStyle;
  LICE_IFont* mFont;
};

void Frame(LICE_IBitmap* bm, LICE_pixel back, LICE_pixel edge)
{
  const int w = bm->getWidth(), h = bm->getHeight();
  LICE_FillRect(bm, 0, 0, w, h, edge, 1.f, LICE_MODE_COPY);
  LICE_FillRect(bm, 1, 1, w - 2, h - 2, back, 1.f, LICE_MODE_COPY);
}

// One open menu level: its window, rows and highlighted row.
struct MenuLevel
{
  IPopupMenu* menu = nullptr;
  int popup = 0;
  int x = 0, y = 0, w = 0, h = 0;  // root coordinates
  std::vector<int> rowTop;         // per item
  std::vector<std::string> labels;
  int hot = -1;
  std::unique_ptr<LICE_MemBitmap> bm;

  int RowAt(int rootX, int rootY) const
  {
    if (rootX < x || rootX >= x + w || rootY < y || rootY >= y + h) return -2;  // outside
    const int ly = rootY - y;
    for (int i = 0; i < (int)rowTop.size(); ++i)
    {
      const IPopupMenuItem* it = menu->GetItem(i);
      const int rh = it->GetIsSeparator() ? kSeparatorH : kRowH;
      if (ly >= rowTop[i] && ly < rowTop[i] + rh) return i;
    }
    return -1;
  }
};

void LayoutMenu(MenuLevel* lv, PopupText* text)
{
  const int n = lv->menu->GetNItems();
  int y = 3, w = 100;
  for (int i = 0; i < n; ++i)
  {
    WDL_String label;
    lv->menu->GetItemLabel(i, &label);
    lv->labels.push_back(label.Get());
    const IPopupMenuItem* it = lv->menu->GetItem(i);
    lv->rowTop.push_back(y);
    y += it->GetIsSeparator() ? kSeparatorH : kRowH;
    w = std::max(w, text->Width(label.Get()) + 44 + (it->GetIsTitle() ? 12 : 0));
  }
  lv->w = std::min(w, 600);
  lv->h = y + 3;
}

void PaintMenu(MenuLevel* lv, PopupText* text)
{
  if (!lv->bm) lv->bm.reset(new LICE_MemBitmap(lv->w, lv->h));
  LICE_IBitmap* bm = lv->bm.get();
  Frame(bm, kMenuBack, kMenuEdge);
  for (int i = 0; i < (int)lv->rowTop.size(); ++i)
  {
    const IPopupMenuItem* it = lv->menu->GetItem(i);
    const int top = lv->rowTop[i];
    if (it->GetIsSeparator())
    {
      LICE_FillRect(bm, 6, top + kSeparatorH / 2, lv->w - 12, 1, kMenuEdge, 1.f, LICE_MODE_COPY);
      continue;
    }
    const bool hot = i == lv->hot && it->GetEnabled();
    if (hot) LICE_FillRect(bm, 2, top, lv->w - 4, kRowH, kMenuHot, 1.f, LICE_MODE_COPY);
    const LICE_pixel fg = !it->GetEnabled() ? kMenuTextOff : hot ? kMenuTextHot : kMenuText;
    if (it->GetChecked()) LICE_FillRect(bm, 8, top + kRowH / 2 - 3, 6, 6, fg, 1.f, LICE_MODE_COPY);
    if (it->GetSubmenu())
      for (int k = 0; k < 4; ++k)
        LICE_FillRect(bm, lv->w - 14 + k, top + kRowH / 2 - 4 + k, 1, 9 - 2 * k, fg, 1.f, LICE_MODE_COPY);
    const int indent = 22 + (it->GetIsTitle() ? 12 : 0);
    text->Draw(bm, lv->labels[i].c_str(), indent, top, lv->w - indent - 18, kRowH, fg);
  }
}

void ShowLevel(ixwin::XConnection* x, MenuLevel* lv)
{
  x->PutPixels(lv->popup, lv->bm->getBits(), lv->bm->getRowSpan(), {0, 0, lv->w, lv->h});
}

// Where a popup of w x h goes so that it stays on screen.
void FitOnScreen(ixwin::XConnection* x, int* px, int* py, int w, int h)
{
  int sw = 0, sh = 0;
  x->ScreenSize(&sw, &sh);
  if (sw > 0 && *px + w > sw) *px = std::max(0, sw - w);
  if (sh > 0 && *py + h > sh) *py = std::max(0, sh - h);
  if (*px < 0) *px = 0;
  if (*py < 0) *py = 0;
}

bool Selectable(const IPopupMenuItem* it)
{
  return it && it->GetEnabled() && !it->GetIsSeparator();
}

}  // namespace

IPopupMenu* IGraphicsLinux::CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pAreaRect)
{
  ReleaseMouseCapture();
  Impl::SessionUse s(mImpl, kServiceWaitMs);
  if (!s || !pMenu || pMenu->GetNItems() == 0) return nullptr;
  ixwin::XConnection* x = s->x.get();
  PopupText text(this);

  // Below the area, 4 pixels down, like a context menu at that point.
  int ox = 0, oy = 0;
  x->WindowOrigin(&ox, &oy);
  const IRECT area = pAreaRect ? *pAreaRect : IRECT(mImpl->prevX, mImpl->prevY, mImpl->prevX, mImpl->prevY);
  std::vector<std::unique_ptr<MenuLevel>> levels;
  auto open = [&](IPopupMenu* menu, int rx, int ry) {
    std::unique_ptr<MenuLevel> lv(new MenuLevel);
    lv->menu = menu;
    LayoutMenu(lv.get(), &text);
    FitOnScreen(x, &rx, &ry, lv->w, lv->h);
    lv->x = rx;
    lv->y = ry;
    // Only the first level grabs: the grab covers every window of ours.
    lv->popup = x->CreatePopup(rx, ry, lv->w, lv->h, levels.empty());
    if (!lv->popup) return false;
    PaintMenu(lv.get(), &text);
    ShowLevel(x, lv.get());
    levels.push_back(std::move(lv));
    return true;
  };
  auto closeFrom = [&](size_t depth) {
    while (levels.size() > depth)
    {
      x->DestroyPopup(levels.back()->popup);
      levels.pop_back();
    }
  };
  auto openSub = [&](size_t depth) {
    MenuLevel* lv = levels[depth].get();
    const IPopupMenuItem* it = lv->menu->GetItem(lv->hot);
    closeFrom(depth + 1);
    if (it && it->GetSubmenu() && it->GetEnabled() && it->GetSubmenu()->GetNItems() > 0)
      open(it->GetSubmenu(), lv->x + lv->w - 2, lv->y + lv->rowTop[lv->hot] - 3);
  };

  IPopupMenu* chosen = nullptr;
  int chosenIdx = -1;
  {
    Impl::Unlocked unlocked(mImpl, s.get());
    if (!open(pMenu, ox + area.L, oy + area.B + 4)) return nullptr;
    const long long opened = ieditor::NowMs();
    long long lastInput = opened;
    bool moved = false, done = false;
    std::vector<ixwin::Event> events;
    while (!done)
    {
      if (s->closing || !x->Alive() || ieditor::NowMs() - lastInput > kMenuTimeoutMs) break;
      x->Wait(50);
      events.clear();
      x->Drain(&events);
      for (const ixwin::Event& e : events)
      {
        if (done) break;
        if (e.window == 0)
        {
          if (e.kind == ixwin::EventKind::kExpose)
            mImpl->screenDirty = mImpl->screenDirty.Union(IRECT(e.area.x, e.area.y, e.area.x + e.area.w, e.area.y + e.area.h));
          continue;
        }
        lastInput = ieditor::NowMs();
        // Under the grab every pointer event is reported to the first level;
        // root coordinates find the level and row.
        int depth = -1, row = -2;
        for (int d = (int)levels.size() - 1; d >= 0 && row == -2; --d)
        {
          row = levels[d]->RowAt(e.rootX, e.rootY);
          if (row != -2) depth = d;
        }
        switch (e.kind)
        {
          case ixwin::EventKind::kExpose:
            for (auto& lv : levels)
              if (lv->popup == e.window) ShowLevel(x, lv.get());
            break;
          case ixwin::EventKind::kMotion:
            moved = true;
            if (depth >= 0 && row >= 0 && levels[depth]->hot != row)
            {
              levels[depth]->hot = row;
              PaintMenu(levels[depth].get(), &text);
              ShowLevel(x, levels[depth].get());
              openSub((size_t)depth);
            }
            break;
          case ixwin::EventKind::kButtonDown:
          case ixwin::EventKind::kButtonUp:
          {
            const bool down = e.kind == ixwin::EventKind::kButtonDown;
            if (e.button > 3) break;  // the wheel chooses nothing
            if (depth < 0)
            {
              if (down) done = true;  // a click outside every level: nothing chosen
              break;
            }
            if (row < 0) break;
            const IPopupMenuItem* it = levels[depth]->menu->GetItem(row);
            const bool releaseCounts = moved || ieditor::NowMs() - opened > kReleaseChoosesAfterMs;
            if (it->GetSubmenu()) break;
            if ((down || releaseCounts) && Selectable(it))
            {
              chosen = levels[depth]->menu;
              chosenIdx = row;
              done = true;
            }
            break;
          }
          case ixwin::EventKind::kKeyDown:
          {
            MenuLevel* lv = levels.back().get();
            const int n = lv->menu->GetNItems();
            auto step = [&](int dir) {
              for (int k = 0, i = lv->hot; k < n; ++k)
              {
                i = (i + dir + n) % n;
                if (i < 0) i = 0;
                if (Selectable(lv->menu->GetItem(i)))
                {
                  lv->hot = i;
                  break;
                }
              }
              PaintMenu(lv, &text);
              ShowLevel(x, lv);
            };
            switch (e.key)
            {
              case IHostKey::kEscape: done = true; break;
              case IHostKey::kDown: step(1); break;
              case IHostKey::kUp: step(lv->hot < 0 ? 0 : -1); break;
              case IHostKey::kLeft:
                if (levels.size() > 1) closeFrom(levels.size() - 1);
                break;
              case IHostKey::kRight:
              case IHostKey::kReturn:
              {
                const IPopupMenuItem* it = lv->menu->GetItem(lv->hot);
                if (it && it->GetSubmenu()) openSub(levels.size() - 1);
                else if (e.key == IHostKey::kReturn && Selectable(it))
                {
                  chosen = lv->menu;
                  chosenIdx = lv->hot;
                  done = true;
                }
                break;
              }
              default: break;
            }
            break;
          }
          default: break;
        }
      }
    }
    closeFrom(0);
  }
  if (!chosen) return nullptr;
  chosen->SetChosenItemIdx(chosenIdx);
  return chosen;
}

// ---------------------------------------------------------------------------
// Message box and the drawn file prompt: one panel with a caption, text lines,
// an optional text field and a row of buttons.

namespace {

struct Button
{
  const char* label;
  int result;
  IRECT r;
};

struct Panel
{
  std::string caption;
  std::vector<std::string> lines;
  std::vector<Button> buttons;
  ieditor::TextField* field = nullptr;
  int w = 0, h = 0;
  int hot = -1;
};

// Lines of at most about maxChars, broken at blanks and at newlines.
std::vector<std::string> Wrap(const char* text, size_t maxChars)
{
  std::vector<std::string> out;
  std::string line, word;
  auto flushWord = [&] {
    if (line.size() + word.size() + 1 > maxChars && !line.empty())
    {
      out.push_back(line);
      line.clear();
    }
    if (!line.empty() && !word.empty()) line += ' ';
    line += word;
    word.clear();
  };
  for (const char* p = text ? text : ""; *p; ++p)
  {
    if (*p == '\n')
    {
      flushWord();
      out.push_back(line);
      line.clear();
    }
    else if (*p == ' ') flushWord();
    else word += *p;
  }
  flushWord();
  if (!line.empty()) out.push_back(line);
  if (out.size() > 20) out.resize(20);
  return out;
}

void LayoutPanel(Panel* p, PopupText* text)
{
  int w = std::max(240, text->Width(p->caption.c_str()) + 32);
  for (const std::string& l : p->lines) w = std::max(w, text->Width(l.c_str()) + 32);
  const int bw = 76, gap = 8;
  w = std::max(w, (int)p->buttons.size() * (bw + gap) + 24);
  if (p->field) w = std::max(w, 420);
  w = std::min(w, 700);
  int y = 12 + kRowH + 4 + (int)p->lines.size() * (kRowH - 2);
  if (p->field)
  {
    p->field->Open(nullptr, nullptr, IRECT(16, y + 4, w - 16, y + 4 + kRowH + 2), IText(kTextSize),
                   p->field->Text().c_str(), 0);
    y += kRowH + 12;
  }
  y += 12;
  int bx = w - 12;
  for (int i = (int)p->buttons.size() - 1; i >= 0; --i)
  {
    p->buttons[i].r = IRECT(bx - bw, y, bx, y + kRowH + 4);
    bx -= bw + gap;
  }
  p->w = w;
  p->h = y + kRowH + 4 + 12;
}

void PaintPanel(Panel* p, LICE_IBitmap* bm, PopupText* text)
{
  Frame(bm, kMenuBack, kMenuEdge);
  text->Draw(bm, p->caption.c_str(), 16, 12, p->w - 32, kRowH, kMenuText);
  int y = 12 + kRowH + 4;
  for (const std::string& l : p->lines)
  {
    text->Draw(bm, l.c_str(), 16, y, p->w - 32, kRowH - 2, kMenuText);
    y += kRowH - 2;
  }
  if (p->field)
  {
    const IRECT& r = p->field->Rect();
    LICE_FillRect(bm, r.L, r.T, r.W(), r.H(), kMenuEdge, 1.f, LICE_MODE_COPY);
    LICE_FillRect(bm, r.L + 1, r.T + 1, r.W() - 2, r.H() - 2, LICE_RGBA(255, 255, 255, 255), 1.f, LICE_MODE_COPY);
    text->Draw(bm, p->field->Text().c_str(), r.L + 4, r.T, r.W() - 8, r.H(), kMenuText);
    const int cx = r.L + 4 + std::min(text->Width(p->field->Text().substr(0, (size_t)p->field->Caret()).c_str()), r.W() - 8);
    LICE_FillRect(bm, cx, r.T + 4, 1, r.H() - 8, kMenuText, 1.f, LICE_MODE_COPY);
  }
  for (int i = 0; i < (int)p->buttons.size(); ++i)
  {
    const Button& b = p->buttons[i];
    const bool hot = i == p->hot;
    LICE_FillRect(bm, b.r.L, b.r.T, b.r.W(), b.r.H(), kMenuEdge, 1.f, LICE_MODE_COPY);
    LICE_FillRect(bm, b.r.L + 1, b.r.T + 1, b.r.W() - 2, b.r.H() - 2, hot ? kMenuHot : LICE_RGBA(225, 225, 228, 255),
                  1.f, LICE_MODE_COPY);
    text->Draw(bm, b.label, b.r.L, b.r.T, b.r.W(), b.r.H(), hot ? kMenuTextHot : kMenuText, true);
  }
}

}  // namespace

// Runs a panel modally over the editor; the chosen button's result, or
// cancelResult for Escape, a close of the editor or the timeout. Enter
// chooses the first button.
static int RunPanel(IGraphicsLinux* g, IGraphicsLinux::Impl* im, Session* s, Panel* p, int cancelResult)
{
  ixwin::XConnection* x = s->x.get();
  PopupText text(g);
  LayoutPanel(p, &text);
  int ox = 0, oy = 0;
  x->WindowOrigin(&ox, &oy);
  int px = ox + (g->Width() - p->w) / 2, py = oy + (g->Height() - p->h) / 3;
  FitOnScreen(x, &px, &py, p->w, p->h);
  LICE_MemBitmap bm(p->w, p->h);
  int result = cancelResult;
  IGraphicsLinux::Impl::Unlocked unlocked(im, s);
  const int popup = x->CreatePopup(px, py, p->w, p->h, true);
  if (!popup) return cancelResult;
  PaintPanel(p, &bm, &text);
  x->PutPixels(popup, bm.getBits(), bm.getRowSpan(), {0, 0, p->w, p->h});
  long long lastInput = ieditor::NowMs();
  bool done = false;
  std::vector<ixwin::Event> events;
  while (!done)
  {
    if (s->closing || !x->Alive() || ieditor::NowMs() - lastInput > kDialogTimeoutMs) break;
    x->Wait(50);
    events.clear();
    x->Drain(&events);
    bool repaint = false;
    for (const ixwin::Event& e : events)
    {
      if (done) break;
      if (e.window != popup)
      {
        if (e.window == 0 && e.kind == ixwin::EventKind::kExpose)
          im->screenDirty = im->screenDirty.Union(IRECT(e.area.x, e.area.y, e.area.x + e.area.w, e.area.y + e.area.h));
        continue;
      }
      lastInput = ieditor::NowMs();
      const int lx = e.rootX - px, ly = e.rootY - py;
      int over = -1;
      for (int i = 0; i < (int)p->buttons.size(); ++i)
        if (p->buttons[i].r.Contains(lx, ly)) over = i;
      switch (e.kind)
      {
        case ixwin::EventKind::kExpose: repaint = true; break;
        case ixwin::EventKind::kMotion:
          if (over != p->hot)
          {
            p->hot = over;
            repaint = true;
          }
          break;
        case ixwin::EventKind::kButtonUp:
          if (e.button == 1 && over >= 0)
          {
            result = p->buttons[over].result;
            done = true;
          }
          break;
        case ixwin::EventKind::kKeyDown:
        {
          if (e.key == IHostKey::kEscape)
          {
            done = true;
            continue;
          }
          if (e.key == IHostKey::kReturn)
          {
            result = p->buttons.empty() ? cancelResult : p->buttons[0].result;
            done = true;
            continue;
          }
          const IHostKey k = ieditor::HostKeyOf(e);
          if (p->field && p->field->Key(k) == ieditor::TextField::kEdited) repaint = true;
          break;
        }
        default: break;
      }
    }
    if (repaint && !done)
    {
      PaintPanel(p, &bm, &text);
      x->PutPixels(popup, bm.getBits(), bm.getRowSpan(), {0, 0, p->w, p->h});
    }
  }
  x->DestroyPopup(popup);
  return result;
}

int IGraphicsLinux::ShowMessageBox(const char* text, const char* caption, int type)
{
  Impl::SessionUse s(mImpl, kServiceWaitMs);
  if (!s) return 0;
  Panel p;
  p.caption = caption ? caption : "";
  p.lines = Wrap(text, 64);
  // The default button answers 1, the alternate 7, the other 2.
  switch (type)
  {
    case 4: p.buttons = {{"Yes", 1, IRECT()}, {"No", 7, IRECT()}}; break;
    case 3: p.buttons = {{"Yes", 1, IRECT()}, {"No", 7, IRECT()}, {"Cancel", 2, IRECT()}}; break;
    case 1: p.buttons = {{"OK", 1, IRECT()}, {"Cancel", 7, IRECT()}}; break;
    default: p.buttons = {{"OK", 1, IRECT()}}; break;
  }
  return RunPanel(this, mImpl, s.get(), &p, 0);
}

// ---------------------------------------------------------------------------
// The file prompt: zenity where it is installed, else a drawn path prompt.

namespace {

bool InPath(const char* exe)
{
  const char* path = getenv("PATH");
  std::string all = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= all.size())
  {
    size_t end = all.find(':', start);
    if (end == std::string::npos) end = all.size();
    const std::string candidate = all.substr(start, end - start) + "/" + exe;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string ExpandHome(const std::string& p)
{
  if (p.compare(0, 1, "~") != 0) return p;
  const char* home = getenv("HOME");
  return std::string(home ? home : "") + p.substr(1);
}

}  // namespace

// zenity, spawned without a shell; its answer is the path on stdout. The
// instance mutex is released while it runs; a close of the editor ends it.
static bool RunZenity(IGraphicsLinux::Impl* im, Session* s, const std::vector<std::string>& args, std::string* out)
{
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, "zenity", &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  if (rc != 0)
  {
    close(fds[0]);
    return false;
  }
  IGraphicsLinux::Impl::Unlocked unlocked(im, s);
  std::string text;
  for (;;)
  {
    if (s->closing) kill(pid, SIGTERM);
    pollfd p = {fds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[512];
    const ssize_t n = read(fds[0], buf, sizeof(buf));
    if (n <= 0) break;
    if (text.size() < 65536) text.append(buf, (size_t)n);
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  *out = text;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && !text.empty();
}

void IGraphicsLinux::PromptForFile(WDL_String* pFile, EFileAction action, WDL_String* pDir, const char* extensions)
{
  Impl::SessionUse s(mImpl, kServiceWaitMs);
  if (!pFile) return;
  if (!s)
  {
    pFile->Set("");
    return;
  }
  const std::string initialName = pFile->Get();
  if (pDir && !pDir->Get()[0]) pDir->Set("~/Desktop");
  std::string dir = ExpandHome(pDir ? pDir->Get() : "~/Desktop");
  if (!dir.empty() && dir.back() != '/') dir += '/';
  pFile->Set("");

  std::string chosen;
  bool ok = false;
  if (InPath("zenity"))
  {
    std::vector<std::string> args = {"zenity", "--file-selection", "--filename=" + dir + initialName};
    if (action == kFileSave) args.push_back("--save");
    if (extensions && *extensions)
    {
      std::string filter = "--file-filter=";
      for (const std::string& e : Wrap(extensions, 1000))
      {
        size_t start = 0;
        while (start < e.size())
        {
          size_t end = e.find(' ', start);
          if (end == std::string::npos) end = e.size();
          if (end > start) filter += "*." + e.substr(start, end - start) + " ";
          start = end + 1;
        }
      }
      args.push_back(filter);
    }
    ok = RunZenity(mImpl, s.get(), args, &chosen);
  }
  else
  {
    ieditor::TextField field;
    field.Open(nullptr, nullptr, IRECT(), IText(kTextSize), (dir + initialName).c_str(), 0);
    Panel p;
    p.caption = action == kFileSave ? "Save as:" : "Open file:";
    if (extensions && *extensions) p.lines.push_back(std::string("Types: ") + extensions);
    p.field = &field;
    p.buttons = {{action == kFileSave ? "Save" : "Open", 1, IRECT()}, {"Cancel", 0, IRECT()}};
    ok = RunPanel(this, mImpl, s.get(), &p, 0) == 1;
    chosen = ExpandHome(field.Text());
    ok = ok && !chosen.empty() && chosen.back() != '/';
  }
  if (!ok) return;  // cancelled: the file stays empty
  pFile->Set(chosen.c_str());
  if (pDir)
  {
    const size_t slash = chosen.rfind('/');
    pDir->Set(slash == std::string::npos ? "" : chosen.substr(0, slash + 1).c_str());
  }
}
