#include "trading/unt_frmmodifytradecaption_win.h"

#include "win/text_win.h"

namespace trading {
namespace {

HWND H(WindowHandle w) { return reinterpret_cast<HWND>(w); }
WindowHandle W(HWND h) { return reinterpret_cast<WindowHandle>(h); }

class ScreenFinder final : public ICaptionFinderDesktop {
 public:
  WindowHandle WindowUnderCursor() override {
    POINT p{};
    GetCursorPos(&p);
    return W(WindowFromPoint(p));
  }
  WindowHandle Parent(WindowHandle window) override { return W(GetParent(H(window))); }
  std::string WindowText(WindowHandle window) override {
    wchar_t text[256] = {};
    GetWindowTextW(H(window), text, 256);
    return win::Utf8(text);
  }
  // R2_NOT over the window's whole rectangle: the second drawing puts every
  // pixel back.
  void DrawInvertedFrame(WindowHandle window) override {
    RECT r{};
    if (!GetWindowRect(H(window), &r)) return;
    HDC dc = GetWindowDC(H(window));
    if (!dc) return;
    const int saved = SaveDC(dc);
    SetROP2(dc, R2_NOT);
    HPEN pen = CreatePen(PS_INSIDEFRAME, GetSystemMetrics(SM_CXBORDER) + 1, RGB(0, 0, 0));
    SelectObject(dc, pen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, 0, 0, r.right - r.left, r.bottom - r.top);
    RestoreDC(dc, saved);
    DeleteObject(pen);
    ReleaseDC(H(window), dc);
  }
  void RepaintAll() override { InvalidateRect(nullptr, nullptr, TRUE); }
};

}  // namespace

std::unique_ptr<ICaptionFinderDesktop> CreateScreenFinder() { return std::make_unique<ScreenFinder>(); }

// The finder picture: holds the mouse from the press to the release.
class TfrmmodifytradecaptionWin::FinderImage final : public win::Picture {
 public:
  std::function<void()> onDrag;
  std::function<void()> onDrop;
  HCURSOR cursor = nullptr;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_LBUTTONDOWN:
        SetCapture(handle_);
        dragging_ = true;
        if (cursor) SetCursor(cursor);
        return 0;
      case WM_MOUSEMOVE:
        if (dragging_ && GetCapture() == handle_) {
          if (cursor) SetCursor(cursor);
          if (onDrag) onDrag();
        }
        return 0;
      case WM_LBUTTONUP:
        if (dragging_) {
          dragging_ = false;
          ReleaseCapture();
          if (onDrop) onDrop();
        }
        return 0;
      case WM_CAPTURECHANGED:
        // The capture went elsewhere (a box, Alt+Tab): the drag is over.
        if (dragging_) {
          dragging_ = false;
          if (onDrop) onDrop();
        }
        return 0;
      default:
        return win::Picture::HandleMessage(message, wParam, lParam);
    }
  }

 private:
  bool dragging_ = false;
};

TfrmmodifytradecaptionWin::TfrmmodifytradecaptionWin(HWND owner, settings::TSettings& settings,
                                                     std::function<void()> relink, HCURSOR finderCursor)
    : screen_(CreateScreenFinder()), model_(*screen_, settings, std::move(relink)), cursor_(finderCursor) {
  // The control layer's font is "微软雅黑" when installed, else "宋体".
  dialog_.Create({.title = kCaptionToolCaption, .size = {420, 250}, .owner = owner});
  profileLabel_.Create(dialog_, {.text = "配置文件名称：", .rect = {16, 16, 130, 22}, .vcenter = true});
  profile_.Create(dialog_, {.text = "", .rect = {146, 16, 258, 22}, .vcenter = true, .ellipsis = true, .sunken = true});
  currentLabel_.Create(dialog_, {.text = "关联下单窗口名称：", .rect = {16, 48, 130, 22}, .vcenter = true});
  current_.Create(dialog_, {.text = "", .rect = {146, 48, 258, 22}, .vcenter = true, .ellipsis = true, .sunken = true});
  newLabel_.Create(dialog_, {.text = "修改后名称：", .rect = {16, 80, 130, 22}, .vcenter = true});
  newName_.Create(dialog_, {.rect = {146, 80, 258, 23}});
  finder_ = std::make_unique<FinderImage>();
  finder_->Create(dialog_, {.rect = {16, 114, 36, 36}, .tooltip = kFinderHint});
  finder_->cursor = cursor_;
  if (cursor_) finder_->SetIcon(reinterpret_cast<HICON>(cursor_));
  finderHint_.Create(dialog_, {.text = kFinderHint, .rect = {60, 122, 344, 20}, .vcenter = true});
  note1_.Create(dialog_, {.text = kCaptionToolNote1, .rect = {16, 160, 388, 18}, .color = RGB(160, 0, 0)});
  note2_.Create(dialog_, {.text = kCaptionToolNote2, .rect = {16, 178, 388, 18}, .color = RGB(160, 0, 0)});
  ok_.Create(dialog_, {.text = "确定[&O]", .rect = {228, 210, 84, 28}, .id = IDOK, .defaultButton = true});
  cancel_.Create(dialog_, {.text = "取消[&C]", .rect = {320, 210, 84, 28}, .id = IDCANCEL});

  finder_->onDrag = [this] {
    model_.FinderMouseMove();
    newName_.SetText(model_.newName);
  };
  finder_->onDrop = [this] { model_.FinderMouseUp(); };
  ok_.onClick = [this] {
    model_.newName = newName_.Text();
    // A failed write goes on to the program's error report; the tool stays.
    model_.BtnOkClick();
    Finish();
  };
  cancel_.onClick = [this] {
    model_.BtnCancelClick();
    Finish();
  };
  dialog_.onEscape = cancel_.onClick;
}

TfrmmodifytradecaptionWin::~TfrmmodifytradecaptionWin() = default;

void TfrmmodifytradecaptionWin::Show() {
  model_.FormShow();
  Sync();
  dialog_.ShowModeless();
  dialog_.Activate();
}

void TfrmmodifytradecaptionWin::Sync() {
  profile_.SetText(model_.profileName);
  current_.SetText(model_.currentTitle);
  newName_.SetText(model_.newName);
}

void TfrmmodifytradecaptionWin::Finish() {
  if (model_.Closed()) dialog_.CloseDialog();
}

}  // namespace trading
